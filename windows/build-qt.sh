#!/bin/bash
# Builds Qt for Windows x86-64 with MinGW-w64 from Debian's source packages, once, into a
# cache folder outside the work tree, and prints that Qt's prefix on the last line of its
# output: qtbase (qt6-base), then Qt HTTP Server (qt6-httpserver) into the same prefix.
# Later runs find the finished Qt by its stamps and do nothing.
#
#   windows/build-qt.sh            build (or reuse) the cache
#   QUORIN_WINDOWS_CACHE=DIR ...   keep the cache in DIR instead
#
# The source version is the Linux Qt's own (qt6-base-dev): the Windows Qt's build uses the
# Linux Qt's moc, rcc and uic (-qt-host-path /usr), which must be the same version.
#
# Qt HTTP Server is taken in the same upstream version. Where its source package cannot be
# fetched, the Windows Qt is left without it (said on every run, and tried again on the
# next one) and the Windows build of the program goes without the class server.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORIN_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorin-windows}
version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
upstream=${version%%+*}
prefix=$cache/qt-$upstream-mingw
jobs=${JOBS:-$(nproc)}

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

say() { printf '[windows-qt] %s\n' "$*" >&2; }
stamped() { [ -f "$1" ] && [ "$(cat "$1")" = "$2" ]; }

if stamped "$stamp" "$stamp_text" && stamped "$httpserver_stamp" "$httpserver_stamp_text"; then
  say "Windows Qt $upstream with Qt HTTP Server found in $prefix"
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
# and TLS is off in qtbase. Returns non-zero where the source cannot be had; it runs where
# errexit does not hold, so every later failure ends the script itself.
build_httpserver() {
  apt_update
  local hs_version
  hs_version=$(apt-cache "${apt_options[@]}" showsrc qt6-httpserver 2>/dev/null |
               sed -n 's/^Version: //p' | grep -F "$upstream-" | sort -V | tail -1)
  [ -n "$hs_version" ] || { say "Debian has no source package qt6-httpserver $upstream"; return 1; }
  local hs_src=$cache/qt6-httpserver-$hs_version
  if [ ! -f "$hs_src/CMakeLists.txt" ]; then
    fetch_source qt6-httpserver "$hs_version" "$hs_src" || return 1
  fi
  local hs_build=$cache/build-httpserver-$upstream
  rm -rf "$hs_build" && mkdir -p "$hs_build"
  say "configuring Qt HTTP Server $upstream for Windows in $hs_build"
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
Built from the Debian source package qt6-httpserver $hs_version (with Debian's
patches) with MinGW-w64 (x86_64-w64-mingw32, posix threads) against the qtbase
above, without Qt WebSockets and Qt Concurrent.

The library is the separate file Qt6HttpServer.dll.
NOTE
  echo "$httpserver_stamp_text" >"$httpserver_stamp"
  say "Qt HTTP Server $upstream ready in $prefix"
}

if ! stamped "$httpserver_stamp" "$httpserver_stamp_text"; then
  build_httpserver ||
    say "WARNING: Qt HTTP Server $upstream is not in the Windows Qt (its source package" \
        "could not be fetched); the Windows build goes without the class server"
fi
echo "$prefix"
