#!/bin/bash
# The Windows build's checks, run under Wine without a screen:
#   1. the test executables (rule tests, page journeys, several saving processes on one
#      folder) through CTest, on Qt's offscreen platform;
#   2. the installer, silently: files, Start-menu entry and uninstall entry in place;
#   3. the installed program: --version, then a real start on the Windows platform plugin in
#      a private X server on a class folder of a share, with a screenshot, closed as its
#      close button closes it (its window position must land in the settings);
#   4. the uninstaller: everything it installed gone again;
#   5. the installer for every user, silently (/ALLUSERS): Program Files, the machine's
#      uninstall entry and Start menu, and the firewall rule's netsh command line in its log;
#      then its uninstaller, with the rule's delete line in its log.
# The Wine prefix (kept in the cache beside the Windows Qt) runs in the Japanese locale
# (code page 932) with Debian's IPA fonts in its Fonts folder, the fonts the program's
# family list falls back to where Windows' own Japanese fonts are missing.
#   windows/test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cache=${QUORIN_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorin-windows}
qt=$("$here/build-qt.sh" 2>/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
shots=$build/shots
mkdir -p "$shots"

say() { printf '[windows-test] %s\n' "$*"; }
fail() { printf '[windows-test] FAILED: %s\n' "$*" >&2; exit 1; }

export WINEPREFIX=$cache/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no offer to install .NET or a browser engine
wine_ja() { LANG=ja_JP.UTF-8 /usr/lib/wine/wine64 "$@"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Wine takes the Windows code page (932) and the encoding of the command line from the Unix
# locale, which must exist for that: a private copy made with localedef, so the system's
# locales stay as they are.
if [ ! -d "$cache/locale/ja_JP.UTF-8" ]; then
  mkdir -p "$cache/locale"
  localedef -i ja_JP -f UTF-8 "$cache/locale/ja_JP.UTF-8" 2>/dev/null || true
  [ -d "$cache/locale/ja_JP.UTF-8" ] || fail "localedef could not make ja_JP.UTF-8"
fi
export LOCPATH=$cache/locale

# A private X server for everything Wine shows (the installer, the program).
# A drive letter (Q:) and a share (\\kyoshitsu\quorin) for the data folders, both leading to
# folders here: Wine maps a drive letter to the folder its dosdevices/q: link names and a
# share to the one dosdevices/unc/SERVER/SHARE names.
tmp=$(mktemp -d)
mkdir "$tmp/drive" "$tmp/share"
drive_link=$WINEPREFIX/dosdevices/q:
share_link=$WINEPREFIX/dosdevices/unc/kyoshitsu/quorin
xvfb_pid=
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$drive_link" "$share_link"
  rm -rf "$tmp"
}
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The prefix, once.
if [ ! -f "$WINEPREFIX/.quorin-ready" ]; then
  say "making the Wine prefix $WINEPREFIX"
  wine_ja wineboot -i >/dev/null 2>&1
  cp /usr/share/fonts/opentype/ipafont-gothic/ipag*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  # Wine's own dialog font has no kana: link it to the Japanese font, as Japanese Windows
  # links its UI fonts.
  cat >"$WINEPREFIX/quorin-fonts.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
"Tahoma"=hex(7):69,00,70,00,61,00,67,00,70,00,2e,00,74,00,74,00,66,00,2c,00,49,00,50,00,41,00,50,00,47,00,6f,00,74,00,68,00,69,00,63,00,00,00,00,00
"Microsoft Sans Serif"=hex(7):69,00,70,00,61,00,67,00,70,00,2e,00,74,00,74,00,66,00,2c,00,49,00,50,00,41,00,50,00,47,00,6f,00,74,00,68,00,69,00,63,00,00,00,00,00
REG
  wine_ja regedit /S "$(winpath "$WINEPREFIX/quorin-fonts.reg")" >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$WINEPREFIX/.quorin-ready"
fi

mkdir -p "$(dirname "$share_link")"
ln -sfn "$tmp/drive" "$drive_link"
ln -sfn "$tmp/share" "$share_link"
export QUORIN_TEST_DRIVE='Q:\' QUORIN_TEST_SHARE='\\kyoshitsu\quorin'
# Qt keeps settings in the registry on Windows, test mode or not: a run starts without them.
wine_ja reg delete 'HKCU\Software\ミルト　ーネ' /f >/dev/null 2>&1 || true

# 1. The test executables, with Qt's and MinGW's DLLs on Wine's search path. The offscreen
# platform of Qt for Windows draws text with FreeType from QT_QPA_FONTDIR.
mingw_dlls=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
winpthread=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
say "test executables under Wine"
WINEPATH="$(winpath "$qt/bin");$(winpath "$qt/lib");$(winpath "$mingw_dlls");$(winpath "$winpthread")" \
QT_QPA_FONTDIR='C:\windows\Fonts' LANG=ja_JP.UTF-8 \
  ctest --test-dir "$build" --output-on-failure --timeout 600 ||
  fail "test executables"

# 2. The installer, silently, into the user's programs folder (after removing an earlier
# install of these tests).
local_app=$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Local
[ -d "$local_app" ] || local_app=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Local' | head -1)
installed=$local_app/Programs/Quorin
menu_entry=$(dirname "$local_app")/Roaming/Microsoft/Windows/Start\ Menu/Programs/ミルト　ーネ.lnk
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\jp.ac.quorin.Quorin'
wait_gone() { for _ in $(seq 60); do [ ! -e "$1" ] && return 0; sleep 0.5; done; return 1; }
if [ -x "$installed/uninstall.exe" ]; then
  wine_ja "$installed/uninstall.exe" /S >/dev/null 2>&1 || true
  wait_gone "$installed/quorin.exe" || fail "the earlier install stays"
fi
say "installer: quorin-$version-setup.exe /S"
wine_ja "$build/quorin-$version-setup.exe" /S >/dev/null 2>&1 || fail "installer exit status $?"
/usr/lib/wine/wineserver -w
expected=(quorin.exe quorin.ico uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll
          Qt6PrintSupport.dll quorin_print.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll
          libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll licenses/LGPL-3.0-only.txt
          licenses/GPL-3.0-only.txt licenses/COPYING.txt licenses/source-offer.txt)
# A Windows Qt with Qt HTTP Server gives the program its class server module, and the
# installer the libraries it loads.
if [ -f "$qt/bin/Qt6HttpServer.dll" ]; then
  expected+=(quorin_classserver.dll Qt6Network.dll Qt6HttpServer.dll licenses/qthttpserver-source.txt)
  [ -f "$qt/lib/libqrencode.dll" ] && expected+=(libqrencode.dll licenses/qrencode-source.txt)
fi
for f in "${expected[@]}"; do
  [ -f "$installed/$f" ] || fail "not installed: $f"
done
[ -f "$menu_entry" ] || fail "no Start-menu entry"
wine_ja reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | grep -q "$version" ||
  fail "no uninstall entry with version $version"
say "installed in $installed, Start-menu entry and uninstall entry present"

# 3. The installed program.
said=$(cd "$build" && wine_ja "$installed/quorin.exe" --version 2>&1 | tr -d '\r') ||
  fail "--version exit status"
printf '%s\n' "$said"
grep -q "$version" <<<"$said" || fail "--version does not say $version"

wine_ja reg delete 'HKCU\Software\ミルト　ーネ' /f >/dev/null 2>&1 || true
# A class folder on the share, its name with a character outside code page 932: the program
# must take its arguments in UTF-16, not in the ANSI code page.
data=$tmp/share/クラス-café
mkdir "$data"
say "real start: quorin.exe --data-folder \\kyoshitsu\quorin\クラス-café"
wine_ja "$installed/quorin.exe" --data-folder '\\kyoshitsu\quorin\クラス-café' \
  >"$build/quorin-start.log" 2>&1 &
program=$!
window=$(timeout 120 xdotool search --sync --onlyvisible --name 'ミルト' | head -1) ||
  fail "no window within two minutes"
sleep 3 # the first paint
import -window "$window" "$shots/start.png"
colours=$(identify -format '%k' "$shots/start.png")
[ "$colours" -gt 16 ] || fail "the window is blank ($colours colours)"
# A folder name taken wrongly from the command line would have ended the program with
# "not found" before any window.
say "window shown on the share's class folder (screenshot $shots/start.png, $colours colours)"
# Closed as its close button closes it (taskkill without /F sends WM_CLOSE): the window
# position goes to the settings.
wine_ja taskkill /IM quorin.exe >/dev/null 2>&1 || true
for _ in $(seq 60); do kill -0 "$program" 2>/dev/null || break; sleep 0.5; done
kill -0 "$program" 2>/dev/null && fail "the program did not close on WM_CLOSE"
settings=$(wine_ja reg query 'HKCU\Software\ミルト　ーネ' /s 2>/dev/null | tr -d '\r')
grep -q MainLeft <<<"$settings" || fail "no window position in the settings: $settings"
say "closed; window position kept in the settings"

# 3b. The class server of the installed program, tried by a tablet: Linux's Chromium on
# 127.0.0.1 against quorin.exe --serve under Wine signs a pupil in and grades レベル1 (the web
# journey, which then reads the roster and the answer log from the class folder); then the
# tablet window of the program, opened from its menu with a tablet signed in, for a look.
if [ -f "$installed/quorin_classserver.dll" ]; then
  web=$here/../tests/web
  [ -d "$web/node_modules/puppeteer-core" ] || fail "no node modules in tests/web (make web-deps)"
  # quorin.exe under Wine. Wine turns no signal into a console control event, so a stop asked
  # with SIGTERM ends the Windows program with taskkill /F: what the journey then reads from
  # the folder is what the server wrote as it answered.
  wrapper=$tmp/quorin-wine
  cat >"$wrapper" <<WRAPPER
#!/bin/bash
LANG=ja_JP.UTF-8 /usr/lib/wine/wine64 $(printf %q "$installed/quorin.exe") "\$@" &
child=\$!
trap 'LANG=ja_JP.UTF-8 /usr/lib/wine/wine64 taskkill /F /IM quorin.exe >/dev/null 2>&1; wait \$child; exit 0' TERM
wait \$child
WRAPPER
  chmod +x "$wrapper"
  say "class server under Wine: the pupil's journey in Chromium"
  node "$web/journey.mjs" "$wrapper" || fail "the journey against the Windows server"
  room=$tmp/share/たんまつ
  mkdir "$room"
  printf 'Name;Novice;Intermediate;Expert;Challenge\r\nhana;0;0;0;0\r\n' >"$room/Quorin.ini"
  # The address this folder keeps (class code and port), which the window takes up again.
  url=$(node "$web/tablet.mjs" serve "$wrapper" '\\kyoshitsu\quorin\たんまつ' | tail -1)
  [[ $url == http://127.0.0.1:*/c/*/ ]] || fail "no address from --serve: $url"
  wine_ja "$installed/quorin.exe" --data-folder '\\kyoshitsu\quorin\たんまつ' \
    >"$build/quorin-room.log" 2>&1 &
  program=$!
  main=$(timeout 120 xdotool search --sync --onlyvisible --name 'ミルト' | head -1) ||
    fail "no window within two minutes"
  sleep 3
  # No window manager here: the window is given the keyboard focus itself, then the keys.
  xdotool windowfocus --sync "$main"
  sleep 0.5
  xdotool key --clearmodifiers alt+t
  sleep 1
  xdotool key --clearmodifiers s
  room_window=$(timeout 60 xdotool search --sync --onlyvisible --name 'タブレットの教室' | head -1) ||
    fail "the tablet window did not open from the menu"
  # The teacher starts the server: サーバーを始める(&S).
  xdotool windowfocus --sync "$room_window"
  sleep 0.5
  xdotool key --clearmodifiers alt+s
  sleep 2
  node "$web/tablet.mjs" address "$url" hana >"$tmp/tablet.log" 2>&1 &
  tablet=$!
  for _ in $(seq 120); do grep -q 'signed in' "$tmp/tablet.log" && break; sleep 0.5; done
  grep -q 'signed in' "$tmp/tablet.log" || fail "the tablet did not sign in: $(cat "$tmp/tablet.log")"
  sleep 4 # the window's next look at its tablets
  import -window "$room_window" "$shots/tablet-window.png"
  kill "$tablet" 2>/dev/null || true
  say "tablet window with a tablet signed in: $shots/tablet-window.png"
  wine_ja taskkill /IM quorin.exe >/dev/null 2>&1 || true
  for _ in $(seq 60); do kill -0 "$program" 2>/dev/null || break; sleep 0.5; done
  kill -0 "$program" 2>/dev/null && fail "the program did not close on WM_CLOSE"
fi

# 4. The uninstaller.
wine_ja "$installed/uninstall.exe" /S >/dev/null 2>&1 || fail "uninstaller exit status"
wait_gone "$installed/quorin.exe" || fail "uninstall left quorin.exe"
/usr/lib/wine/wineserver -w
[ ! -e "$installed" ] || fail "uninstall left $(ls -A "$installed")"
[ ! -e "$menu_entry" ] || fail "uninstall left the Start-menu entry"
wine_ja reg query "$uninstall_key" >/dev/null 2>&1 && fail "uninstall left its entry"
say "uninstalled: folder, Start-menu entry and uninstall entry gone"

# 5. For every user of this computer (Wine's user has administrator rights). Wine's netsh has
# no firewall, so what is checked is the command lines the installer and the uninstaller
# logged, not a rule.
all_users=$WINEPREFIX/drive_c/Program\ Files/Quorin
all_menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/ミルト　ーネ.lnk
all_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\jp.ac.quorin.Quorin'
netsh='advfirewall firewall'
rule='name="ミルト　ーネ (タブレットの教室)"'
logged() { iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r'; }
if [ -x "$all_users/uninstall.exe" ]; then
  wine_ja "$all_users/uninstall.exe" /S >/dev/null 2>&1 || true
  wait_gone "$all_users/quorin.exe" || fail "the earlier install for every user stays"
fi
say "installer: quorin-$version-setup.exe /S /ALLUSERS"
wine_ja "$build/quorin-$version-setup.exe" /S /ALLUSERS "/LOG=$(winpath "$tmp/setup.log")" \
  >/dev/null 2>&1 || fail "all-users installer exit status $? (740: no administrator rights)"
/usr/lib/wine/wineserver -w
for f in quorin.exe uninstall.exe licenses/COPYING.txt; do
  [ -f "$all_users/$f" ] || fail "not installed for every user: $f"
done
[ -f "$all_menu" ] || fail "no Start-menu entry for every user"
wine_ja reg query "$all_key" /v DisplayVersion 2>/dev/null | grep -q "$version" ||
  fail "no machine-wide uninstall entry with version $version"
[ -f "$tmp/setup.log" ] || fail "the installer wrote no log"
logged "$tmp/setup.log"
logged "$tmp/setup.log" | grep -qF "netsh.exe\" $netsh add rule $rule dir=in action=allow program=\"C:\\Program Files\\Quorin\\quorin.exe\" profile=private,domain enable=yes" ||
  fail "the installer did not add the firewall rule"
say "installed for every user in C:\\Program Files\\Quorin, with the firewall rule"
wine_ja "$all_users/uninstall.exe" /S "/LOG=$(winpath "$tmp/uninstall.log")" >/dev/null 2>&1 ||
  fail "all-users uninstaller exit status"
wait_gone "$all_users/quorin.exe" || fail "the all-users uninstall left quorin.exe"
/usr/lib/wine/wineserver -w
logged "$tmp/uninstall.log" | grep -qF "netsh.exe\" $netsh delete rule $rule" ||
  fail "the uninstaller did not delete the firewall rule"
[ ! -e "$all_users" ] || fail "the all-users uninstall left $(ls -A "$all_users")"
[ ! -e "$all_menu" ] || fail "the all-users uninstall left the Start-menu entry"
wine_ja reg query "$all_key" >/dev/null 2>&1 && fail "the all-users uninstall left its entry"
say "uninstalled for every user: folder, Start-menu entry, uninstall entry and rule gone"
say "all passed"
