#!/bin/sh
# Runs one page test with Node; says what is missing instead of skipping (`make test`
# installs Node.js and Chromium and runs `npm ci` here).
here=$(dirname "$0")
missing=""
command -v node >/dev/null 2>&1 || missing="$missing node"
[ -x "${CHROMIUM:-/usr/bin/chromium}" ] || missing="$missing ${CHROMIUM:-/usr/bin/chromium}"
[ -d "$here/node_modules/puppeteer-core" ] || missing="$missing tests/web/node_modules (npm ci)"
if [ -n "$missing" ]; then
  echo "The page tests need:$missing. 'make test' installs them." >&2
  exit 1
fi
exec node "$here/$1" "$2"
