#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan+UBSan) and runs each one in turn
# for a bounded time, starting from the corpus kept in the repository
# (fuzz/corpus/<harness>/, copied into the working corpus so that a run never
# changes it), the sample set (import, probe) or the export seeds, and what
# earlier runs added to the working corpus (build/fuzz/corpus/<harness>/).
# The bmphost harness (bmphost's own reading of headers and PNG files) starts
# from the sample set and PNG files of every kind that Pillow writes.
# Fails on any finding; the input that caused it is left in build/fuzz/findings/.
#   FUZZ_SECONDS   seconds per harness (default 60)
#   FUZZ_HARNESSES which harnesses (default "import probe export bmphost")
# A long run, one harness at a time:
#   FUZZ_SECONDS=1200 scripts/fuzz-ci.sh
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
harnesses="${FUZZ_HARNESSES:-import probe export bmphost}"

# The build's packages and the compiler with its fuzzing runtime.
bash scripts/deps.sh clang libclang-rt-14-dev >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

build=build/fuzz
seeds="$build/seeds"
rm -rf "$seeds"
"$build/fuzz/make_seeds" "$seeds"
# The import and probe harnesses start from the main job's sample set.
"$build/bmpsamples" "$seeds/samples" >/dev/null
rm -f "$seeds/samples/MANIFEST.tsv"
# PNG files for bmphost's reader: palettes, grey at every depth, alpha,
# transparency, 16-bit samples, interlacing and resolutions.
mkdir -p "$seeds/png"
/usr/bin/python3 - "$seeds/png" <<'PY'
import sys
from PIL import Image
out = sys.argv[1]
base = Image.radial_gradient("L").resize((7, 5))
kinds = {
    "p2": base.convert("1").convert("P"), "p16": base.quantize(16), "p200": base.quantize(200),
    "grey1": base.convert("1"), "grey8": base, "grey16": base.convert("I;16"),
    "la": base.convert("LA"), "rgb": base.convert("RGB"), "rgba": base.convert("RGBA"),
}
for name, im in kinds.items():
    im.save(f"{out}/{name}.png", dpi=(72, 96))
kinds["p16"].save(f"{out}/p16-trns.png", transparency=3)
kinds["rgb"].save(f"{out}/rgb-interlaced.png", interlace=1)
kinds["rgb"].save(f"{out}/rgb-no-phys.png")
PY
cat fuzz/bmp.dict fuzz/png.dict >"$build/bmphost.dict"
mkdir -p "$build/findings"

status=0
for harness in $harnesses; do
    corpus="$build/corpus/$harness"
    mkdir -p "$corpus"
    if [ -d "fuzz/corpus/$harness" ]; then
        find "fuzz/corpus/$harness" -type f -exec cp -t "$corpus" {} +
    fi
    case "$harness" in
        export) seed=("$seeds/export"); dict=() ;;
        bmphost) seed=("$seeds/samples" "$seeds/png"); dict=(-dict="$build/bmphost.dict" -max_len=16384) ;;
        # Larger sample files are cut to 16 KiB: enough for every header form
        # and several rows, small enough to keep the runs quick.
        *) seed=("$seeds/samples"); dict=(-dict=fuzz/bmp.dict -max_len=16384) ;;
    esac
    log="$build/fuzz-$harness.log"
    echo "fuzz-ci: $harness for ${seconds}s"
    # Images are held to 2^16 pixels (BMP_FUZZ_MAX_PIXELS), so no honest
    # allocation comes near 16 MB; one that does is a finding.
    if ! "$build/fuzz/fuzz_$harness" "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=1024 -malloc_limit_mb=16 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$harness-" "$corpus" "${seed[@]}" >"$log" 2>&1; then
        echo "fuzz-ci: $harness FOUND A PROBLEM; see $log and $build/findings/" >&2
        grep -E '^\*\*\* finding|ERROR: |SUMMARY' "$log" >&2 || tail -30 "$log" >&2
        status=1
        continue
    fi
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    cov=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | grep -o 'cov: [0-9]* ft: [0-9]*' || echo '?')
    echo "fuzz-ci: $harness ok: $runs runs, $cov, corpus $(ls "$corpus" | wc -l) files"
done
exit $status
