#!/bin/sh
# Runs a test on a private X server (Xvfb) so that keys and clicks go through a real X
# server. Without Xvfb the test runs anyway and skips itself with a message.
#   with_xvfb.sh <test binary> [arguments...]
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "Xvfb is not installed: the real-input tests skip (make test installs it)" >&2
    QT_QPA_PLATFORM=offscreen exec "$@"
fi
scratch=$(mktemp -d) || exit 1
# -displayfd: the server picks a free display and writes its number when it is ready.
Xvfb -displayfd 3 -screen 0 2400x1800x24 -nolisten tcp -noreset 3>"$scratch/display" 2>"$scratch/log" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$scratch"' EXIT
tries=0
while [ ! -s "$scratch/display" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
if [ ! -s "$scratch/display" ]; then
    echo "Xvfb did not start; the real-input tests skip:" >&2
    cat "$scratch/log" >&2
    QT_QPA_PLATFORM=offscreen "$@"
    exit $?
fi
DISPLAY=":$(cat "$scratch/display")" QT_QPA_PLATFORM=xcb "$@"
