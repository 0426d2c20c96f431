#!/usr/bin/env bash
# Runs the example host over a sample set and writes what it gave into OUT,
# one set of files per sample, so that two builds of it (another kit, another
# platform) can be compared with diff -r:
#   NAME.describe  the probe line and the description, then the exit status
#   NAME.convert   the exit status and the error's "(SOURCE:LINE, code N)"
#   NAME.bmp       the converted file, where one was written
#   stop-AT        the status of a conversion stopped at report AT
# Samples are named relative to the folder that holds SAMPLES, the same on
# every platform; line ends are read without their CR. A RUNNER (such as
# cmake/wine-run.sh) runs the example where given.
#   scripts/example-results.sh EXAMPLE MODULE SAMPLES OUT [RUNNER...]
set -euo pipefail
example=$1 module=$2 samples=$3 out=$4
shift 4
mkdir -p "$out"
out=$(cd "$out" && pwd)
cd "$(dirname "$samples")"
set_name=$(basename "$samples")
# "(SOURCE:LINE, code N)" from an error line, or nothing.
raised() { tr -d '\r' <"$1" | grep -o '([^()]*:[0-9]*\(, code [0-9]*\)\?)$' || true; }
for sample in "$set_name"/*.bmp; do
    name=$(basename "$sample" .bmp)
    status=0
    "$@" "$example" "$module" describe "$sample" 2>/dev/null | tr -d '\r' >"$out/$name.describe" ||
        status=$?
    echo "status $status" >>"$out/$name.describe"
    status=0
    "$@" "$example" "$module" convert "$sample" "$out/$name.bmp" >/dev/null 2>"$out/err" || status=$?
    { echo "status $status"; raised "$out/err"; } >"$out/$name.convert"
done
# A stop at the second report, and at the first of the export: no file.
for at in 1 41; do
    status=0
    "$@" "$example" "$module" convert "$set_name/rgb4.bmp" "$out/stopped.bmp" "$at" \
        >/dev/null 2>&1 || status=$?
    echo "status $status" >"$out/stop-$at"
done
rm -f "$out/err"
[ ! -e "$out/stopped.bmp" ] || { echo "example-results: a stopped conversion left a file" >&2; exit 1; }
