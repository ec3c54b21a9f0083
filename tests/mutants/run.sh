#!/bin/sh
# Runs this project's own faults (mutants.py beside this script) through the shared mutation
# runner, on a fresh clone of the committed HEAD, so the work tree is never edited.
# usage: tests/mutants/run.sh [--only N01,N02] [--out results.json] [--baseline]
# QUORIN_MUTATE_CLONE=<configured clone> reuses a clone made by an earlier run.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
runner=${QUORIN_MUTATE_RUNNER:-$root/../shared/tools/mutants/mutate.py}
work=$(mktemp -d)
# The runner imports `mutants` from its own folder: it runs from a folder of its own that
# holds our list.
# Every fuzz target is left out (the runner names only the first one): they run from the
# fuzz preset's build, which the clone does not have.
sed -e 's/"fuzz_records|/"fuzz_|/' -e 's/SYNC_EXCLUDE = "fuzz_records"/SYNC_EXCLUDE = "fuzz_"/' \
    "$runner" > "$work/mutate.py"
cp "$root/tests/mutants/mutants.py" "$work/mutants.py"
clone=${QUORIN_MUTATE_CLONE:-}
if [ -z "$clone" ]; then
    clone=$work/p
    git clone -q "$root" "$clone"
    (cd "$clone" && cmake --preset dev >/dev/null)
fi
echo "clone: $clone"
exec python3 "$work/mutate.py" --repo "$clone" "$@"
