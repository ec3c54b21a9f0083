#!/bin/bash
# Builds Qt for Windows x86-64 with MinGW-w64 from Debian's source packages, once, into a
# cache folder outside the work tree, and prints that Qt's prefix on the last line of its
# output: qtbase (qt6-base), then Qt HTTP Server (qt6-httpserver) and libqrencode (qrencode,
# for the class server's QR code) into the same prefix. Later runs find the finished Qt by its
# stamps and do nothing.
#
#   windows/build-qt.sh                  build (or reuse) the cache
#   windows/build-qt.sh --tarballs DIR   take upstream source tarballs from DIR
#   windows/build-qt.sh --check-tarballs check the tarballs in that folder and stop
#   QUORIN_WINDOWS_CACHE=DIR ...         keep the cache in DIR instead
#   QUORIN_QT_TARBALLS=DIR ...           the same as --tarballs DIR
#
# The source version is the Linux Qt's own (qt6-base-dev): the Windows Qt's build uses the
# Linux Qt's moc, rcc and uic (-qt-host-path /usr), which must be the same version.
#
# Qt HTTP Server is taken in the same upstream version: from Debian's source package first,
# else from Qt's upstream tarball in the tarball folder (default ../shared/vendor beside the
# repository), whose SHA-256 must be the one written below. Where neither can be had, the
# Windows Qt is left without it (said on every run, and tried again on the next one) and the
# Windows build of the program goes without the class server. Likewise without libqrencode
# the class server window shows its address without the QR code.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORIN_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorin-windows}
version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
upstream=${version%%+*}
prefix=$cache/qt-$upstream-mingw
jobs=${JOBS:-$(nproc)}
tarballs=${QUORIN_QT_TARBALLS:-$here/../shared/vendor}
check_only=
while [ $# -gt 0 ]; do
  case $1 in
    --tarballs) [ $# -ge 2 ] || { echo "--tarballs needs a folder" >&2; exit 2; }
                tarballs=$2; shift 2 ;;
    --check-tarballs) check_only=1; shift ;;
    *) echo "usage: $0 [--tarballs DIR] [--check-tarballs]" >&2; exit 2 ;;
  esac
done

# Only what the program needs: Core, Gui, Widgets, PrintSupport, Network and Test, drawn in
# software (no OpenGL), with Windows' own code pages and fonts (no ICU, no fontconfig). The
# class server speaks plain HTTP on the school network: no TLS (neither OpenSSL nor Schannel).
configure_options=(
  -prefix "$prefix" -release -shared
  -xplatform win32-g++ -qt-host-path /usr
  -nomake examples -nomake tests
  -no-opengl -no-feature-vulkan -no-icu -no-fontconfig -no-dbus
  -no-feature-tabletevent -no-feature-sql -no-openssl -no-ssl -no-feature-xml
  -no-feature-concurrent -no-feature-androiddeployqt -no-feature-macdeployqt
  -no-feature-windeployqt -no-feature-zstd
  -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre -qt-doubleconversion
)
stamp_text="qt6-base $version: ${configure_options[*]}"
stamp=$prefix/.quorin-build
# Qt HTTP Server is built again whenever qtbase is.
httpserver_stamp_text="qt6-httpserver $upstream on $stamp_text"
httpserver_stamp=$prefix/.quorin-httpserver
# libqrencode is plain C and needs nothing of Qt: a shared library (the LGPL's terms are kept
# by shipping it as its own DLL) without its command-line tools.
qrencode_options=(-DBUILD_SHARED_LIBS=ON -DWITH_TOOLS=NO -DWITH_TESTS=NO)
qrencode_stamp_text="qrencode: ${qrencode_options[*]}"
qrencode_stamp=$prefix/.quorin-qrencode

# The upstream source tarballs the script may build from where Debian's source package cannot
# be fetched, with the SHA-256 of Qt's release. Qt HTTP Server builds without Qt WebSockets
# (an optional component of its build), so that tarball is not needed.
declare -A tarball_sha256=(
  [qthttpserver-everywhere-src-6.4.2.tar.xz]=139cee9098d28efce40b10431db0f9e8b2b56ca39c9b0c2ea5c7e421254fb55e
)

say() { printf '[windows-qt] %s\n' "$*" >&2; }
# A stamp's first line says what was built and how; a second line says from which source.
stamped() { [ -f "$1" ] && [ "$(head -n 1 "$1")" = "$2" ]; }

# check_tarball NAME [COPY]: the tarball NAME in the tarball folder, copied to COPY when given,
# and the SHA-256 of the copy (what is unpacked afterwards) checked against the one above.
# Returns non-zero, saying why, where the tarball is missing, unknown or differs.
check_tarball() {
  local name=$1 copy=${2:-} file=$tarballs/$1 expected=${tarball_sha256[$1]:-} actual
  [ -n "$expected" ] || { say "no SHA-256 is known for $name: not used"; return 1; }
  [ -f "$file" ] || { say "no upstream tarball $file"; return 1; }
  if [ -n "$copy" ]; then
    cp "$file" "$copy" || return 1
    file=$copy
  fi
  actual=$(sha256sum <"$file") && actual=${actual%% *} || return 1
  if [ "$actual" != "$expected" ]; then
    say "REFUSED: $tarballs/$name has SHA-256 $actual, not Qt's $expected"
    [ -z "$copy" ] || rm -f "$copy"
    return 1
  fi
  say "$tarballs/$name: SHA-256 as expected"
}

if [ -n "$check_only" ]; then
  ok=0
  for name in "${!tarball_sha256[@]}"; do check_tarball "$name" || ok=1; done
  exit "$ok"
fi

if stamped "$stamp" "$stamp_text" && stamped "$httpserver_stamp" "$httpserver_stamp_text" &&
   stamped "$qrencode_stamp" "$qrencode_stamp_text"; then
  say "Windows Qt $upstream with Qt HTTP Server and libqrencode found in $prefix"
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache/download"

# A private apt state holding deb-src entries for the archives the system already uses, so
# that the system's own apt configuration and lists stay as they are. Its lists are brought
# up to date once per run, when a source package is fetched.
apt=$cache/apt
apt_options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
             -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
             -o APT::Sandbox::User=root)
apt_updated=
apt_update() {
  [ -n "$apt_updated" ] && return 0
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && { sed -E 's/^Types:.*/Types: deb-src/' "$f"; echo; }
  done >"$apt/parts/debian-src.sources"
  if [ -f /etc/apt/sources.list ]; then
    sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list
  fi >"$apt/sources.list"
  apt-get "${apt_options[@]}" -qq update
  apt_updated=1
}

# fetch_source PACKAGE VERSION DIR: Debian's source package PACKAGE=VERSION (with Debian's
# patches applied) unpacked into DIR. Returns non-zero where it cannot be had.
fetch_source() {
  local package=$1 version=$2 dir=$3
  say "fetching Debian's source package $package $version"
  apt_update
  command -v dpkg-source >/dev/null || { say "dpkg-dev is needed to unpack the source"; exit 1; }
  (cd "$cache/download" &&
     apt-get "${apt_options[@]}" -qq source --download-only "$package=$version") || return 1
  rm -rf "$dir.tmp" && mkdir -p "$dir.tmp"
  dpkg-source -x "$cache/download/${package}_${version#*:}.dsc" "$dir.tmp/$package" \
    >/dev/null || return 1
  rm -rf "$dir" && mv "$dir.tmp/$package" "$dir" && rm -rf "$dir.tmp"
}

# unpack_orig PACKAGE VERSION DIR: where a source package's Debian part cannot be fetched but its
# upstream tarball was, that tarball alone, unpacked into DIR once its SHA-256 matches the one the
# package's .dsc lists. Debian's patches are then missing; DIR/.quorin-orig-only says so.
unpack_orig() {
  local package=$1 version=${2#*:} dir=$3
  local dsc=$cache/download/${package}_${version}.dsc orig line sum
  [ -f "$dsc" ] || return 1
  line=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | grep -E " ${package}_[^ ]*\.orig\.tar\.[a-z0-9]+$" | head -1)
  [ -n "$line" ] || return 1
  sum=$(awk '{print $1}' <<<"$line"); orig=$cache/download/$(awk '{print $3}' <<<"$line")
  [ -f "$orig" ] && [ "$(sha256sum "$orig" | awk '{print $1}')" = "$sum" ] || {
    say "the upstream tarball of $package $version is missing or does not match its .dsc"; return 1; }
  say "Debian's part of $package $version cannot be fetched: building its upstream tarball, checked against the .dsc"
  rm -rf "$dir.tmp" && mkdir -p "$dir.tmp" && tar -xf "$orig" -C "$dir.tmp" || return 1
  local top; top=$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -1)
  [ -n "$top" ] || return 1
  rm -rf "$dir" && mv "$top" "$dir" && rm -rf "$dir.tmp" && touch "$dir/.quorin-orig-only"
}

# unpack_tarball NAME DIR: the upstream tarball NAME from the tarball folder, its SHA-256
# checked, unpacked into DIR. Returns non-zero where it is missing or refused.
unpack_tarball() {
  local name=$1 dir=$2 copy=$cache/download/$1
  check_tarball "$name" "$copy" || return 1
  rm -rf "$dir.tmp" && mkdir -p "$dir.tmp"
  tar -xJf "$copy" -C "$dir.tmp" || return 1
  rm -rf "$dir" && mv "$dir.tmp/${name%.tar.xz}" "$dir" && rm -rf "$dir.tmp"
}

# Ninja's status line shows [done/total]; one line in fifty is printed (and every error), so
# the progress stays readable in a log.
export NINJA_STATUS='[%f/%t %p] '
progress() {
  local n=0 line
  while IFS= read -r line; do
    case $line in
      \[*/*\]*) n=$((n + 1)); [ $((n % 50)) -eq 1 ] && say "${line%% Building*}" ;;
      *error*|*FAILED*) printf '%s\n' "$line" >&2 ;;
    esac
  done
  return 0 # not the status of the last line's test, which ended the script under pipefail
}

# --- qtbase -------------------------------------------------------------------------------

if ! stamped "$stamp" "$stamp_text"; then
  rm -f "$httpserver_stamp"
  src=$cache/qt6-base-$version
  if [ ! -d "$src/src/corelib" ]; then
    fetch_source qt6-base "$version" "$src" || { say "qt6-base $version cannot be fetched"; exit 1; }
  fi

  build=$cache/build-$upstream
  if ! stamped "$build/.configured" "$stamp_text"; then
    say "configuring Qt $upstream for Windows in $build"
    # A build folder configured with other options is configured anew in place (without its
    # CMake cache): the objects the new options leave as they were are not compiled again.
    if [ -f "$build/CMakeCache.txt" ]; then
      rm -f "$build/CMakeCache.txt" "$build/.configured"
    else
      rm -rf "$build" && mkdir -p "$build"
    fi
    (cd "$build" && nice -n 19 "$src/configure" "${configure_options[@]}" -- \
       -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
       -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
       >"$build/configure.log" 2>&1) || {
      tail -40 "$build/configure.log" >&2; say "configure failed; see $build/configure.log"; exit 1; }
    echo "$stamp_text" >"$build/.configured"
  fi

  say "building Qt $upstream for Windows with $jobs jobs at nice 19 (the first build takes about an hour)"
  nice -n 19 cmake --build "$build" --parallel "$jobs" 2>&1 | tee "$build/build.log" | progress ||
    { say "the Qt build failed; see $build/build.log"; exit 1; }
  say "installing into $prefix"
  nice -n 19 cmake --install "$build" >"$build/install.log" 2>&1
  # What the installer ships beside Qt's libraries: Qt's licences and where its source is.
  mkdir -p "$prefix/licenses"
  cp "$src/LICENSES/LGPL-3.0-only.txt" "$src/LICENSES/GPL-3.0-only.txt" "$prefix/licenses/"
  cat >"$prefix/licenses/qt-source.txt" <<NOTE
Qt $upstream (qtbase), used under the GNU LGPL version 3 (LGPL-3.0-only.txt).
Built from the Debian source package qt6-base $version (with Debian's patches)
with MinGW-w64 (x86_64-w64-mingw32, posix threads) and these configure options:
${configure_options[*]//$prefix/<prefix>}

The Qt libraries are the separate files Qt6*.dll and the plugins in platforms/,
styles/ and imageformats/. They may be replaced by another build of the same Qt
version, made from the source above or from Qt's own release.
NOTE
  echo "$stamp_text" >"$stamp"
  say "Windows Qt $upstream (qtbase) ready in $prefix"
fi

# --- Qt HTTP Server -----------------------------------------------------------------------

# Built as a Qt module against the Windows Qt just installed, with the same toolchain file
# (which puts the prefix on the find root and takes the code generators from the Linux Qt).
# Its optional parts stay out: the Windows Qt has neither Qt WebSockets nor Qt Concurrent,
# and TLS is off in qtbase. The source is Debian's package of the same upstream version, or,
# where that cannot be fetched, Qt's upstream tarball. Returns non-zero where neither can be
# had; it runs where errexit does not hold, so every later failure ends the script itself.
build_httpserver() {
  apt_update
  local hs_version hs_src origin note
  hs_version=$(apt-cache "${apt_options[@]}" showsrc qt6-httpserver 2>/dev/null |
               sed -n 's/^Version: //p' | grep -F "$upstream-" | sort -V | tail -1)
  if [ -z "$hs_version" ]; then
    say "Debian has no source package qt6-httpserver $upstream"
  else
    hs_src=$cache/qt6-httpserver-$hs_version
    if [ -f "$hs_src/CMakeLists.txt" ] || fetch_source qt6-httpserver "$hs_version" "$hs_src"; then
      origin="Debian source package qt6-httpserver $hs_version"
      note="the Debian source package qt6-httpserver $hs_version (with Debian's
patches)"
    else
      say "Debian's source package qt6-httpserver $hs_version cannot be fetched"
    fi
  fi
  if [ -z "${origin:-}" ]; then
    local tarball=qthttpserver-everywhere-src-$upstream.tar.xz
    say "trying Qt's upstream tarball $tarball in $tarballs"
    hs_src=$cache/qthttpserver-everywhere-src-$upstream
    unpack_tarball "$tarball" "$hs_src" || return 1
    origin="upstream tarball $tarball (SHA-256 ${tarball_sha256[$tarball]})"
    note="Qt's upstream source tarball $tarball
(SHA-256 ${tarball_sha256[$tarball]})"
  fi
  local hs_build=$cache/build-httpserver-$upstream
  rm -rf "$hs_build" && mkdir -p "$hs_build"
  say "configuring Qt HTTP Server $upstream for Windows in $hs_build (from the $origin)"
  nice -n 19 cmake -S "$hs_src" -B "$hs_build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" -DQUORIN_QT_WINDOWS="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF \
    >"$hs_build/configure.log" 2>&1 || {
    tail -40 "$hs_build/configure.log" >&2; say "see $hs_build/configure.log"; exit 1; }
  say "building Qt HTTP Server $upstream for Windows at nice 19"
  nice -n 19 cmake --build "$hs_build" --parallel "$jobs" 2>&1 | tee "$hs_build/build.log" |
    progress || { say "the build failed; see $hs_build/build.log"; exit 1; }
  nice -n 19 cmake --install "$hs_build" >"$hs_build/install.log" 2>&1 || {
    say "installing failed; see $hs_build/install.log"; exit 1; }
  cat >"$prefix/licenses/qthttpserver-source.txt" <<NOTE
Qt HTTP Server $upstream, used under the GNU GPL version 3 (GPL-3.0-only.txt).
Built from $note
with MinGW-w64 (x86_64-w64-mingw32, posix threads) against the qtbase above,
without Qt WebSockets and Qt Concurrent.

The library is the separate file Qt6HttpServer.dll.
NOTE
  printf '%s\nsource: %s\n' "$httpserver_stamp_text" "$origin" >"$httpserver_stamp"
  say "Qt HTTP Server $upstream ready in $prefix (from the $origin)"
}

if ! stamped "$httpserver_stamp" "$httpserver_stamp_text"; then
  build_httpserver ||
    say "WARNING: Qt HTTP Server $upstream is not in the Windows Qt (neither Debian's source" \
        "package nor a good upstream tarball could be had); the Windows build goes without" \
        "the class server"
fi

# --- libqrencode --------------------------------------------------------------------------

# The QR code of the class server's address, from Debian's source package qrencode (its
# newest version in the archive), built with its own CMake files into the same prefix: the
# program finds it there through pkg-config (cmake/mingw-w64.cmake), and the installer ships
# lib/libqrencode.dll beside the program. Returns non-zero where the source cannot be had.
build_qrencode() {
  apt_update
  local qr_version
  qr_version=$(apt-cache "${apt_options[@]}" showsrc qrencode 2>/dev/null |
               sed -n 's/^Version: //p' | sort -V | tail -1)
  [ -n "$qr_version" ] || { say "Debian has no source package qrencode"; return 1; }
  local qr_src=$cache/qrencode-$qr_version qr_from="the Debian source package qrencode $qr_version (with Debian's patches)"
  if [ ! -f "$qr_src/qrencode.h" ]; then
    fetch_source qrencode "$qr_version" "$qr_src" || unpack_orig qrencode "$qr_version" "$qr_src" ||
      return 1
  fi
  [ -f "$qr_src/.quorin-orig-only" ] &&
    qr_from="the upstream tarball of the Debian source package qrencode $qr_version (without Debian's packaging, which could not be fetched)"
  local qr_build=$cache/build-qrencode
  rm -rf "$qr_build" && mkdir -p "$qr_build"
  say "building libqrencode $qr_version for Windows in $qr_build"
  { nice -n 19 cmake -S "$qr_src" -B "$qr_build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "${qrencode_options[@]}" &&
    nice -n 19 cmake --build "$qr_build" --parallel "$jobs" &&
    nice -n 19 cmake --install "$qr_build"; } >"$qr_build/build.log" 2>&1 || {
    tail -40 "$qr_build/build.log" >&2; say "see $qr_build/build.log"; exit 1; }
  mkdir -p "$prefix/licenses"
  cp "$qr_src/COPYING" "$prefix/licenses/LGPL-2.1-or-later.txt"
  cat >"$prefix/licenses/qrencode-source.txt" <<NOTE
libqrencode, used under the GNU LGPL version 2.1 or later (LGPL-2.1-or-later.txt).
Built from $qr_from
with MinGW-w64 (x86_64-w64-mingw32, posix threads) and these CMake options:
${qrencode_options[*]}

The library is the separate file libqrencode.dll. It may be replaced by another
build of a compatible libqrencode version.
NOTE
  printf '%s\nsource: Debian source package qrencode %s\n' "$qrencode_stamp_text" \
    "$qr_version" >"$qrencode_stamp"
  say "libqrencode $qr_version ready in $prefix"
}

if ! stamped "$qrencode_stamp" "$qrencode_stamp_text"; then
  build_qrencode ||
    say "WARNING: libqrencode is not in the Windows Qt (Debian's source package qrencode" \
        "could not be fetched); the class server window shows its address without a QR code"
fi
echo "$prefix"
