#!/bin/sh
# Runs the fuzz target for a fixed number of inputs, starting from the seed corpus. New
# inputs it finds go to a scratch folder, so the seeds in the repository stay as they are.
#   run_fuzz.sh <fuzz_records binary> <seed corpus> <runs>
binary=$1
seeds=$2
runs=$3
if [ ! -x "$binary" ]; then
    echo "fuzz target not built: $binary" >&2
    echo "build it with: cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_records" >&2
    echo "(make test does this first)" >&2
    exit 1
fi
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
# Qt's hashes take a random seed in every process, and their order steers which inputs the
# fuzzer goes on to: a fixed one makes the fixed-count run the same run everywhere.
QT_HASH_SEED=0 "$binary" -runs="$runs" -max_len=2048 -seed=1 -artifact_prefix="$scratch/" "$scratch" "$seeds" 2>"$scratch/log"
status=$?
tail -n 3 "$scratch/log"
if [ $status -ne 0 ]; then
    tail -n 40 "$scratch/log" >&2
    for crash in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-*; do
        # The whole input, as base64, so that it can be run again from the log alone.
        [ -f "$crash" ] && { echo "input that failed ($crash), base64:" >&2; base64 -w 0 "$crash" >&2; echo >&2; }
    done
fi
exit $status
