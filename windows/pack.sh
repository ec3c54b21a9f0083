#!/bin/bash
# Packs the Windows build: installs it into a folder, then makes the NSIS installer and the
# portable zip (the same folder, to run from a USB stick or a share) from that folder.
#   windows/pack.sh BUILD_DIR      writes BUILD_DIR/quorin-VERSION-setup.exe and
#                                  BUILD_DIR/quorin-VERSION-portable.zip
set -euo pipefail
build=$(cd "$1" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
stage=$build/stage/quorin-$version
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$build/stage"
cmake --install "$build" --prefix "$stage" >/dev/null

# The licences, beside the Qt ones the install put into licenses/: the program's own (the GNU
# GPL version 3; with Qt HTTP Server the whole can only be given under its version 3) and the
# offer of its source, which the GPL asks of whoever passes the program on without its source.
# Text files with CR LF line ends, the offer in UTF-8 with a byte order mark, as Windows' own
# editor reads them everywhere.
repo=$(cd "$here/.." && pwd)
for f in GPL-3.0-only.txt LGPL-3.0-only.txt qt-source.txt; do
  [ -f "$stage/licenses/$f" ] || { echo "pack.sh: licenses/$f is missing" >&2; exit 1; }
done
crlf() { sed 's/\r*$/\r/'; }
crlf <"$repo/LICENSE" >"$stage/licenses/COPYING.txt"
commit=$(git -C "$repo" rev-parse HEAD 2>/dev/null || echo unknown)
{
  printf '\xef\xbb\xbf'
  crlf <<OFFER
ミルト　ーネ $version のソースコードについて (Source code of this program)

このプログラムはフリーソフトウェアです。GNU 一般公衆利用許諾書 (GNU GPL) バージョン3
またはそれ以降のバージョンのもとで配布しています (COPYING.txt)。タブレットの教室
(quorin_classserver.dll) が使う Qt HTTP Server は GNU GPL バージョン3 だけのもとにある
ため、この配布物はまとめて GNU GPL バージョン3 のもとで配布しています。Qt は GNU LGPL
バージョン3 (LGPL-3.0-only.txt) のもとで使っています。保証はありません。

このプログラムの完全なソースコード (Windows 用の Qt, Qt HTTP Server, libqrencode を作る
手順と、それらのソースの出どころ: qt-source.txt ほか) は次の場所で入手できます。
  https://quorin.example.org/  バージョン $version (コミット $commit)
また、この配布物を受け取った方はだれでも、受け取ってから3年のあいだ、下の連絡先に
請求すれば、同じソースコードを配布の実費だけで受け取ることができます。
  Quorin team <quorin@example.org>

This program is free software under the GNU General Public License version 3 or
(at your option) any later version (COPYING.txt). Its class server links Qt HTTP
Server, which is under the GNU GPL version 3 only, so this distribution as a whole is
given under the GNU GPL version 3. Qt is used under the GNU LGPL version 3
(LGPL-3.0-only.txt). There is no warranty.

The complete corresponding source code, with the scripts that build the Windows Qt,
Qt HTTP Server and libqrencode and where their sources come from (qt-source.txt and
the other *-source.txt files), is at https://quorin.example.org/ (version $version,
commit $commit). For three years after you received this distribution, anyone who
received it may also ask Quorin team <quorin@example.org> for the same source code,
given for no more than the cost of distributing it.
OFFER
} >"$stage/licenses/source-offer.txt"

# The installer's file list, from what is in the folder: one File per file on install, one
# Delete per file and one RMDir per folder (deepest first) on uninstall.
files=$build/stage/files.nsh
winpath() { printf '%s' "${1//\//\\}"; }
{
  echo '!macro QuorinInstallFiles'
  (cd "$stage" && find . -type d | sort) | while read -r d; do
    d=${d#./}; d=${d#.}
    echo "  SetOutPath \"\$INSTDIR$([ -n "$d" ] && printf '\\%s' "$(winpath "$d")")\""
    (cd "$stage/${d:-.}" && find . -maxdepth 1 -type f | sort) | while read -r f; do
      echo "  File \"$stage/${d:+$d/}${f#./}\""
    done
  done
  echo '!macroend'
  echo '!macro QuorinUninstallFiles'
  (cd "$stage" && find . -type f | sort) | while read -r f; do
    echo "  Delete \"\$INSTDIR\\$(winpath "${f#./}")\""
  done
  (cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r d; do
    echo "  RMDir \"\$INSTDIR\\$(winpath "${d#./}")\""
  done
  echo '!macroend'
} >"$files"

size_kb=$(du -sk "$stage" | cut -f1)
setup=$build/quorin-$version-setup.exe
firewall_rule=$(head -n 1 "$here/firewall-rule-name.txt")
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DFILES="$files" \
  -DOUTFILE="$setup" -DSIZE_KB="$size_kb" -DFIREWALL_RULE="$firewall_rule" "$here/installer.nsi"

zip=$build/quorin-$version-portable.zip
rm -f "$zip"
(cd "$build/stage" && cmake -E tar cf "$zip" --format=zip "quorin-$version")
ls -l "$setup" "$zip"
