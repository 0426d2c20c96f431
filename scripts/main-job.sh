#!/usr/bin/env bash
# The main job: install what is missing, build the release preset, write the
# sample set, convert every sample through the module with bmphost, write PNG
# previews, print a summary table and write out/index.html, which shows each
# sample as the host received it beside the same file as the browser showing
# the page reads it and as Pillow reads it.
# Exits non-zero when a sample does not behave as its manifest says.
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
pillow=out/pillow
page=out/index.html
rm -rf "$samples" "$previews" "$converted" "$pillow" "$page"
mkdir -p "$previews" "$converted" "$pillow"
errors_file=$(mktemp)
rows_file=$(mktemp)
trap 'rm -f "$errors_file" "$rows_file"' EXIT
"$build/bmpsamples" "$samples"

# Each sample as Pillow reads it, as PNG; none where it cannot.
/usr/bin/python3 - "$samples" "$pillow" <<'PY'
import os, sys
from PIL import Image
samples, pillow = sys.argv[1:]
for line in open(os.path.join(samples, "MANIFEST.tsv")):
    name = line.split("\t")[0]
    try:
        Image.open(os.path.join(samples, name)).save(os.path.join(pillow, name[:-4] + ".png"))
    except Exception:
        pass
PY

html() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g' <<<"$1"; }

# A picture cell of the page, or what stands in for a missing picture.
picture() {
  if [[ -f $1 ]]; then printf '<td><img src="%s" alt=""></td>' "${1#out/}"; else printf '<td class="none">%s</td>' "$2"; fi
}

# The sample itself, for the browser to read; its text stands in where the
# browser cannot.
in_browser() {
  printf '<td><img src="%s" alt="the browser cannot read it"></td>' "$(html "${1#out/}")"
}

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
  [[ $result == *UNEXPECTED* ]] && class=unexpected || class=""
  {
    printf '<tr class="%s"><td><code>%s</code><br>%s</td><td>%s</td>' \
      "$class" "$(html "$name")" "$(html "$label")" "$(html "$description")"
    picture "$previews/$stem.png" "no image"
    in_browser "$source"
    picture "$pillow/$stem.png" "Pillow cannot read it"
    printf '<td>%s</td></tr>\n' "$(html "$result")"
  } >>"$rows_file"
done <"$samples/MANIFEST.tsv"

{
  cat <<'HEAD'
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>BMP filter: the main job's samples</title>
<style>
body { font: 14px sans-serif; margin: 1.5em; }
table { border-collapse: collapse; }
th, td { border: 1px solid #ccc; padding: 6px; vertical-align: top; text-align: left; }
img { height: 96px; max-width: 240px; object-fit: contain; image-rendering: pixelated;
      background: repeating-conic-gradient(#ddd 0 25%, #fff 0 50%) 0 0 / 12px 12px; }
td.none { color: #888; font-style: italic; }
tr.unexpected { background: #fdd; }
</style></head><body>
<h1>The main job's samples</h1>
HEAD
  printf '<p>%s samples, %s as expected. Each converted by <code>bmphost</code> through the module; the preview is the image the host received, beside the sample as this browser reads it and as Pillow reads it.</p>\n' \
    "$total" "$((total - unexpected))"
  echo '<table><tr><th>File</th><th>Description</th><th>Host received</th><th>Browser reads</th><th>Pillow reads</th><th>Result</th></tr>'
  cat "$rows_file"
  echo '</table>'
  echo "<p>Debian's Pillow $(/usr/bin/python3 -c 'import PIL; print(PIL.__version__)') shows 32-bit files without bit fields as opaque and misreads run-length files that hold delta codes.</p>"
  echo '</body></html>'
} >"$page"

echo
echo "main-job: $total samples, $((total - unexpected)) as expected; previews in $previews, converted files in $converted; the page: $page"
[[ $unexpected -eq 0 ]]
