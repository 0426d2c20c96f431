#!/usr/bin/env bash
# Proves that the module depends on the host's contract alone: built against
# the stand-in installed as a host's kit (scripts/sdk-module.sh), it must
# give the same results as the normal build. winhost runs the main job's
# sample set, and images made in every colour format, through both modules;
# the two result directories must be identical. (scripts/ci-win32.sh does
# the same for BmpFilter.dll under Wine.)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >/dev/null
cmake --preset dev >/dev/null
cmake --build --preset dev --target BmpFilter winhost bmpsamples >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/bmp-sdk.XXXXXX")
trap 'rm -rf "$work"' EXIT
module=$(bash scripts/sdk-module.sh build/dev "$work")
echo "sdk: module built against $work/kit: $module"
bash scripts/check-linux-module.sh "$module" ||
    { echo "sdk: FAILED: the module built against the kit lacks hardening" >&2; exit 1; }

winhost=$PWD/build/dev/tools/winhost/winhost
build/dev/bmpsamples "$work/samples" >/dev/null
mkdir -p "$work/normal" "$work/sdk"
"$winhost" run build/dev/libBmpFilter.so "$work/normal" "$work"/samples/*.bmp 2>/dev/null
"$winhost" run "$module" "$work/sdk" "$work"/samples/*.bmp 2>/dev/null
if ! diff -r "$work/normal" "$work/sdk"; then
    echo "sdk: FAILED: the module built against the kit gives other results" >&2
    exit 1
fi
echo "sdk: $(ls "$work/samples"/*.bmp | wc -l) samples and the made images:" \
    "$(find "$work/sdk" -type f | wc -l) result files identical to the normal build's"
