#!/usr/bin/env bash
# The main job: install what is missing, build the release preset, write the
# sample set, convert every sample through the module with bmphost, write PNG
# previews and print a summary table. Exits non-zero when a sample does not
# behave as its manifest says.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Installs the Debian packages that are missing (apt-get update first).
bash scripts/deps.sh

echo "main-job: building (release preset)"
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

build=build/release
host=$build/bmphost
samples=out/samples
previews=out/previews
converted=out/converted
rm -rf "$samples" "$previews" "$converted"
mkdir -p "$previews" "$converted"
errors_file=$(mktemp)
trap 'rm -f "$errors_file"' EXIT
"$build/bmpsamples" "$samples"

# The module's five-line description, in one line: "W x H, colour format".
describe() {
  { "$host" describe "$1" 2>/dev/null || true; } | tr -d '\r' | awk -F':  ' '
    /^Width:/ {w = $2} /^Height:/ {h = $2} /^Color Format:/ {c = $2}
    END {if (w != "") printf "%s x %s, %s", w, h, c; else printf "(refused)"}'
}

# The result comes last: a refusal shows the whole message.
format='%-20s %-46s %-30s %9s  %s\n'
printf "$format" FILE SAMPLE DESCRIPTION TIME RESULT
printf "$format" ---- ------ ----------- ---- ------
total=0
unexpected=0
while IFS=$'\t' read -r name expectation label; do
  total=$((total + 1))
  source=$samples/$name
  stem=${name%.bmp}
  description=$(describe "$source" </dev/null)

  start=$(date +%s%N)
  status=0
  report=$("$host" convert "$source" "$converted/$name" --opaque yes --json 2>"$errors_file" </dev/null) ||
    status=$?
  errors=$(cat "$errors_file")
  end=$(date +%s%N)
  time=$(awk -v ns=$((end - start)) 'BEGIN {printf "%.1f ms", ns / 1e6}')

  if [[ $status -eq 0 ]]; then
    "$host" import "$source" --png "$previews/$stem.png" --opaque yes >/dev/null 2>&1 </dev/null || status=$?
  fi

  if [[ $status -eq 0 ]]; then
    result="ok, $(stat -c %s "$converted/$name") bytes"
    asked=no
    [[ $report == *'"question_asked":true'* ]] && asked=yes && result="$result, asked: opaque"
    if [[ $expectation != ok && $expectation != question ]] ||
      [[ $asked == yes && $expectation != question ]] || [[ $asked == no && $expectation == question ]]; then
      result="$result (UNEXPECTED)"
      unexpected=$((unexpected + 1))
    fi
  else
    # bmphost's error line: "error: MESSAGE (SOURCEFILE:LINE, code N)".
    refusal=$(grep -m 1 -E '^error: .*:[0-9]+, code [0-9]+\)$' <<<"$errors" || true)
    line=$(sed -n 's/.*:\([0-9]*\), code [0-9]*)$/\1/p' <<<"$refusal")
    if [[ -n $line ]]; then result="refused: ${refusal#error: }"; else result="failed: status $status"; fi
    if [[ $expectation != "error $line" ]]; then
      result="$result (UNEXPECTED)"
      unexpected=$((unexpected + 1))
      echo "$errors" >&2
    fi
  fi
  printf "$format" "$name" "$label" "$description" "$time" "$result"
done <"$samples/MANIFEST.tsv"

echo
echo "main-job: $total samples, $((total - unexpected)) as expected; previews in $previews, converted files in $converted"
[[ $unexpected -eq 0 ]]
