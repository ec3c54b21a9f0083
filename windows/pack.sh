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
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DFILES="$files" \
  -DOUTFILE="$setup" -DSIZE_KB="$size_kb" "$here/installer.nsi"

zip=$build/quorin-$version-portable.zip
rm -f "$zip"
(cd "$build/stage" && cmake -E tar cf "$zip" --format=zip "quorin-$version")
ls -l "$setup" "$zip"
