#!/bin/sh
# Makes the Debian package from a configured and built tree (the dev tree in CTest, so no
# second build is needed), then checks what it holds and what it declares, and runs the
# desktop-entry and AppStream validators on the files it installs.
# Usage: check_package.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
id=jp.ac.quorin.Quorin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$work"/out/quorin_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { cat "$work/cpack.log"; echo "FAIL: no quorin_*.deb made"; exit 1; }
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/bin/quorin \
         /usr/share/applications/$id.desktop \
         /usr/share/metainfo/$id.metainfo.xml \
         /usr/share/man/man1/quorin.1.gz \
         /usr/share/doc/quorin/help/index.html \
         /usr/share/doc/quorin/copyright \
         /usr/share/icons/hicolor/scalable/apps/$id.svg; do
  grep -qx "$f" "$work/files" || fail "$f is not in the package"
done
for s in 16 22 24 32 48 64 128 256; do
  grep -qx "/usr/share/icons/hicolor/${s}x${s}/apps/$id.png" "$work/files" ||
    fail "no ${s}x${s} icon"
done

# Printing is a module loaded on the first print; the program itself starts without Qt Print
# Support.
grep -q '^/usr/lib/.*quorin/quorin_print\.so$' "$work/files" || fail "no printing module"
# The class server for tablets is a module too, loaded when the teacher starts it.
grep -q '^/usr/lib/.*quorin/quorin_classserver\.so$' "$work/files" || fail "no class server module"

[ "$(dpkg-deb -f "$deb" Package)" = quorin ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in libqt6widgets6 libqt6printsupport6 libc6 fonts-ipafont-gothic qt6-translations-l10n; do
  echo "$depends" | grep -q "$d" || fail "Depends lacks $d"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"

dpkg-deb -x "$deb" "$work/root"
objdump -p "$work/root/usr/bin/quorin" | grep -q 'NEEDED.*PrintSupport' &&
  fail "the program loads Qt Print Support at start"
desktop-file-validate "$work/root/usr/share/applications/$id.desktop" || fail "desktop entry"
grep -qx 'Exec=quorin --from-menu' "$work/root/usr/share/applications/$id.desktop" ||
  fail "the desktop entry does not start quorin --from-menu"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "metainfo"
# The copyright file is machine-readable (Debian's copyright format 1.0): its header names the
# format and the upstream name; every paragraph is fields with indented continuation lines;
# every file falls under a Files paragraph with a licence, the program's being GPL-3.0-or-later;
# and every licence named on a one-line License field has its text in a License paragraph.
copyright_problems=$(awk '
  function field(line) { sub(/:.*/, "", line); return line }
  function value(line) { sub(/^[^:]*:[ \t]*/, "", line); return line }
  function endParagraph() {
    if (n == 0) return
    if (n == 1) {
      if (fields["Format"] != "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")
        print "no Format line of the copyright format 1.0"
      if (fields["Upstream-Name"] == "") print "no Upstream-Name"
    } else if ("Files" in fields) {
      if (fields["License"] == "") print "Files: " fields["Files"] " has no License"
      if (fields["Copyright"] == "") print "Files: " fields["Files"] " has no Copyright"
      if (fields["Files"] == "*") star = fields["License"]
      if (!text) needed[fields["License"]] = 1
    } else if ("License" in fields) {
      if (!text) print "License: " fields["License"] " without its text"
      given[fields["License"]] = 1
    } else print "paragraph " n " is neither Files nor License"
    delete fields; text = 0; name = ""
  }
  /^[ \t]*$/ { endParagraph(); started = 0; next }
  /^[ \t]/ { if (!started) print "line " NR " continues no field"; if (name == "License") text = 1; next }
  /^[A-Za-z-]+:/ {
    if (!started) { n++; started = 1 }
    name = field($0); fields[name] = value($0); next }
  { print "line " NR " is no field: " $0 }
  END {
    endParagraph()
    if (star != "GPL-3.0-or-later") print "Files: * is under \"" star "\", not GPL-3.0-or-later"
    for (l in needed) if (!(l in given)) print "License " l " has no text"
  }' "$work/root/usr/share/doc/quorin/copyright")
[ -z "$copyright_problems" ] || fail "copyright file: $copyright_problems"
# The installed program answers --version and ends at once, without a display to open.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANG=C.UTF-8 \
  "$work/root/usr/bin/quorin" --version | grep -qx 'quorin 1.0.0' ||
  fail "installed quorin --version without a display"

# A forgotten teacher's PIN: --forget-pin removes it from this user's settings, and only it.
home="$work/home"
mkdir -p "$home/.config"
conf="$home/.config/ミルト　ーネ.conf"
printf '[Settings]\nNumberPad=1\n\n[Teacher]\nPin=00:00\n' >"$conf"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$home/.config" \
  LANG=C.UTF-8 "$work/root/usr/bin/quorin" --forget-pin >/dev/null ||
  fail "quorin --forget-pin"
! grep -q '^Pin=' "$conf" && grep -qx 'NumberPad=1' "$conf" ||
  fail "--forget-pin did not remove the PIN alone: $(cat "$conf")"

[ "$failed" = 0 ] && echo "package checks passed"
exit "$failed"
