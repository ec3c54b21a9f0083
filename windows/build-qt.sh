#!/bin/bash
# Builds Qt's qtbase for Windows x86-64 with MinGW-w64 from Debian's qt6-base source
# package, once, into a cache folder outside the work tree, and prints that Qt's prefix on
# the last line of its output. Later runs find the finished Qt by its stamp and do nothing.
#
#   windows/build-qt.sh            build (or reuse) the cache
#   QUORIN_WINDOWS_CACHE=DIR ...   keep the cache in DIR instead
#
# The source version is the Linux Qt's own (qt6-base-dev): the Windows Qt's build uses the
# Linux Qt's moc, rcc and uic (-qt-host-path /usr), which must be the same version.
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

say() { printf '[windows-qt] %s\n' "$*" >&2; }

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ]; then
  say "Windows Qt $upstream found in $prefix"
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
src=$cache/qt6-base-$version
if [ ! -d "$src/src/corelib" ]; then
  say "fetching Debian's source package qt6-base $version"
  # A private apt state holding deb-src entries for the archives the system already uses,
  # so that the system's own apt configuration and lists stay as they are.
  apt=$cache/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$cache/download"
  mkdir -p "$apt/parts"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && { sed -E 's/^Types:.*/Types: deb-src/' "$f"; echo; }
  done >"$apt/parts/debian-src.sources"
  if [ -f /etc/apt/sources.list ]; then
    sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list
  fi >"$apt/sources.list"
  apt_options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
               -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
               -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" -qq update
  command -v dpkg-source >/dev/null || {
    say "dpkg-dev is needed to unpack the source"; exit 1; }
  (cd "$cache/download" && apt-get "${apt_options[@]}" -qq source --download-only "qt6-base=$version")
  rm -rf "$src.tmp" && mkdir -p "$src.tmp"
  dpkg-source -x "$cache/download/qt6-base_$version.dsc" "$src.tmp/qt6-base" >/dev/null
  rm -rf "$src" && mv "$src.tmp/qt6-base" "$src" && rm -rf "$src.tmp"
fi

build=$cache/build-$upstream
if [ ! -f "$build/.configured" ] || [ "$(cat "$build/.configured")" != "$stamp_text" ]; then
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

# Ninja's status line shows [done/total]; one line in fifty is printed (and every error), so
# the progress stays readable in a log.
say "building Qt $upstream for Windows with $jobs jobs at nice 19 (the first build takes about an hour)"
export NINJA_STATUS='[%f/%t %p] '
progress() {
  local n=0 line
  while IFS= read -r line; do
    case $line in
      \[*/*\]*) n=$((n + 1)); [ $((n % 50)) -eq 1 ] && say "${line%% Building*}" ;;
      *error*|*FAILED*) printf '%s\n' "$line" >&2 ;;
    esac
  done
}
nice -n 19 cmake --build "$build" --parallel "$jobs" 2>&1 | tee "$build/build.log" | progress
[ "${PIPESTATUS[0]}" -eq 0 ] || { say "the Qt build failed; see $build/build.log"; exit 1; }
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
say "Windows Qt $upstream ready in $prefix"
echo "$prefix"
