#!/usr/bin/env bash
# The installed kit as a host's developer meets it. The release build is
# installed to a temporary prefix and the tree moved elsewhere; every link in
# its docs must lead to a file in it. From the moved copy, bmphost describes
# and converts the sample set, and the example host, built from the kit's own
# copy of it outside the source tree against that tree alone, then installed
# and moved in turn, must give the same results: the same probe line,
# description and status, the same converted bytes, the same error source,
# line and code, the same stop. valgrind then runs the example over every
# sample. The .tar.gz that CPack makes must hold the same tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh valgrind time >/dev/null
source scripts/installed-tree.sh kit

cmake --install build/release --prefix "$work/installed" >/dev/null
mkdir "$work/elsewhere"
mv "$work/installed" "$work/elsewhere/kit"
kit=$work/elsewhere/kit
bmphost=$kit/bin/bmphost
module=$kit/lib/libBmpFilter.so
"$bmphost" -v | grep -xF "module: $module" >/dev/null || fail "the moved bmphost loads another module"
# libhost by its SONAME, libhost.so.MAJOR (scripts/ci-package.sh checks it).
libhost=libhost.so.$(bash scripts/project-version.sh | cut -d. -f1)
ldd "$bmphost" | grep -F "$libhost => $kit/bin/../lib/$libhost" >/dev/null || fail "the moved bmphost links another libhost"

# Every link in the installed docs leads to a file of the installed tree.
docs=$kit/share/doc/BmpFilter
mapfile -t installed_docs < <(find "$docs" -name '*.md')
bash scripts/check-links.sh "${installed_docs[@]}" || fail "links in the installed docs"

# The example, built from the kit's own copy, finds nothing but the moved
# kit; installed, then moved, it runs on its own copies of libhost.so and
# the module, found relative to itself.
cmake -S "$docs/examples/minimal-host" -B "$work/example-build" -DCMAKE_PREFIX_PATH="$kit" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configuring the example"; }
! grep -q 'Warning' "$work/configure.log" || { cat "$work/configure.log"; fail "warnings configuring the example"; }
cmake --build "$work/example-build" -j 2 >/dev/null
cmake --install "$work/example-build" --prefix "$work/example-installed" >/dev/null
mv "$work/example-installed" "$work/elsewhere/example"
example=$work/elsewhere/example/bin/minimal-host
ldd "$example" | grep -F "$libhost => $work/elsewhere/example/bin/../lib/$libhost" >/dev/null ||
    fail "the moved example links another libhost"
cmp -s "$module" "$work/elsewhere/example/lib/libBmpFilter.so" || fail "the example installed another module"
module=$work/elsewhere/example/lib/libBmpFilter.so

build/release/bmpsamples "$work/samples" >/dev/null
mkdir "$work/host" "$work/example-out"
# "(SOURCE:LINE, code N)" from an error line, or nothing.
raised() { grep -o '([^()]*:[0-9]*\(, code [0-9]*\)\?)$' "$1" || true; }
samples=("$work"/samples/*.bmp)
for sample in "${samples[@]}"; do
    name=$(basename "$sample")
    h=$work/host/$name e=$work/example-out/$name
    hs=0 es=0
    { "$bmphost" probe "$sample" || true; "$bmphost" describe "$sample" || hs=$?; } >"$h.txt" 2>/dev/null
    "$example" "$module" describe "$sample" >"$e.txt" 2>/dev/null || es=$?
    [ "$hs" = "$es" ] && cmp -s "$h.txt" "$e.txt" || fail "$name: describe differs"
    hs=0 es=0
    "$bmphost" convert "$sample" "$h" --opaque yes >/dev/null 2>"$h.err" || hs=$?
    "$example" "$module" convert "$sample" "$e" >/dev/null 2>"$e.err" || es=$?
    [ "$hs" = "$es" ] || fail "$name: convert status $hs from bmphost, $es from the example"
    [ "$(raised "$h.err")" = "$(raised "$e.err")" ] || fail "$name: another error"
    if [ "$hs" = 0 ]; then cmp -s "$h" "$e" || fail "$name: other bytes written"; fi
done
# A stop at the second report, and at the first of the export: no file.
for at in 1 41; do
    hs=0 es=0
    "$bmphost" convert "$work/samples/rgb4.bmp" "$work/stop-h.bmp" --stop-at $at >/dev/null 2>&1 || hs=$?
    "$example" "$module" convert "$work/samples/rgb4.bmp" "$work/stop-e.bmp" $at >/dev/null 2>&1 || es=$?
    [ "$hs" = 3 ] && [ "$es" = 3 ] || fail "stop at $at: status $hs from bmphost, $es from the example"
done
leftover=$(find "$work/host" "$work/example-out" -mindepth 1 ! -name '*.bmp' ! -name '*.txt' ! -name '*.err'
           find "$work" -maxdepth 1 -name 'stop-*')
[ -z "$leftover" ] || fail "files left behind: $leftover"
echo "kit: ${#samples[@]} samples through the moved bmphost and the example built from the moved kit, installed and moved:" \
    "$(ls "$work/host"/*.bmp | wc -l) conversions identical, descriptions, statuses and errors equal"

errors=0
for sample in "${samples[@]}"; do
    valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
        "$example" "$module" convert "$sample" "$work/valgrind.bmp" >/dev/null 2>"$work/valgrind.log" ||
        [ $? != 99 ] || { errors=$((errors + 1)); cat "$work/valgrind.log" >&2; }
done
[ $errors = 0 ] || fail "valgrind found errors in $errors runs of the example"
echo "kit: valgrind: no errors in ${#samples[@]} runs of the example"

# The example as a long-running host: one manager and one import filter for
# every file. Its peak memory over 10,000 imports stays within 2 MiB of its
# peak over 100; valgrind finds nothing in a run over every sample.
peak_over() {
    local names=() i=0
    while [ ${#names[@]} -lt "$1" ]; do names+=("${samples[$((i % ${#samples[@]}))]##*/}"); i=$((i + 1)); done
    (cd "$work/samples" && /usr/bin/time -f %M -o "$work/peak" "$example" "$module" import "${names[@]}" \
        >"$work/import.txt" 2>/dev/null) || true
    [ "$(wc -l <"$work/import.txt")" = "$1" ] || fail "import of $1 files: not one line a file"
    tail -n 1 "$work/peak"
}
small=$(peak_over 100)
large=$(peak_over 10000)
[ $((large - small)) -lt 2048 ] || fail "the example's peak grew from $small KiB over 100 imports to $large KiB over 10000"
echo "kit: the example's peak memory: $small KiB over 100 imports, $large KiB over 10000"
(cd "$work/samples" && valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    "$example" "$module" import *.bmp >/dev/null 2>"$work/valgrind.log") || [ $? != 99 ] ||
    { cat "$work/valgrind.log" >&2; fail "valgrind found errors importing every sample with one filter"; }

cpack --config build/release/CPackConfig.cmake -B "$work/package" >/dev/null
tar xzf "$work"/package/BmpFilter-*.tar.gz -C "$work/package"
diff -r "$kit" "$work"/package/BmpFilter-*/ >/dev/null || fail "the .tar.gz holds another tree"
echo "kit: $(basename "$work"/package/*.tar.gz) holds the installed tree"
