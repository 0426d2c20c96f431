#!/usr/bin/env bash
# The 32-bit Windows build: installs the cross toolchain and Wine when missing,
# builds the win32 preset, checks BmpFilter.dll's import and export tables and
# dialog resources, runs the test suite under Wine, and compares the Windows
# build's import and export results with the Linux build's, byte for byte;
# then installs the Windows kit, builds the example host on it and compares
# its results under Wine with the Linux example's. Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$(date +%s)

step() { echo "== win32: $*"; }
fail() {
    echo "win32: FAILED: $*" >&2
    exit 1
}

# --- Packages -----------------------------------------------------------------
step "packages"
# Wine's 32-bit half comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
bash scripts/deps.sh g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
    mingw-w64-i686-dev googletest wine wine32:i386 python3-pefile

# --- Wine -------------------------------------------------------------------------
# A prefix of the build's own, and one Wine server kept up for the whole run
# instead of one started for every test program.
export WINEPREFIX="$root/build/win32/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# Make or update the prefix first, and let its start-up programs end: left
# holding a test's output pipe, they would keep a caller waiting.
wineboot -u >/dev/null 2>&1 </dev/null || true
wineserver -w
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# The session's own services start now, with none of our pipes.
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

# --- Build ------------------------------------------------------------------------
step "build (preset win32)"
cmake --preset win32 >/dev/null
cmake --build --preset win32
bin="$root/build/win32/bin"
dll="$bin/BmpFilter.dll"
[ -f "$dll" ] || fail "BmpFilter.dll was not built"

# --- The DLL as a file ------------------------------------------------------------
# Imports (the system's DLLs and host.dll only), exports (ExportBMP @1 and
# ImportBMP @2, nothing else), the two dialog templates, and the hardening
# (ASLR, DEP, no debug sections). Debian's own interpreter, for which
# python3-pefile is installed.
step "module check: imports, exports, dialog templates, hardening"
echo "BmpFilter.dll: $(stat -c %s "$dll") bytes"
/usr/bin/python3 scripts/check-win32-module.py "$dll" || fail "module check of BmpFilter.dll"

# The Linux build supplies the reference results and the sample set.
step "build (preset dev: the Linux reference)"
cmake --preset dev >/dev/null
linux_targets=(winhost BmpFilter bmphost)
if grep -q "add_executable(bmpsamples" tools/CMakeLists.txt 2>/dev/null; then
    linux_targets+=(bmpsamples)
fi
cmake --build --preset dev --target "${linux_targets[@]}"
linux_bin="$root/build/dev"

# --- Tests under Wine -----------------------------------------------------------------
step "tests under Wine"
test_log="$root/build/win32/ctest.log"
ctest --preset win32 >"$test_log" 2>&1 || test_status=$?
if [ "${test_status:-0}" != 0 ]; then
    tail -n 300 "$test_log"
    fail "tests under Wine (whole log: $test_log)"
fi
sed -n '/tests passed/,$p' "$test_log"

# --- Same results as the Linux build ---------------------------------------------------
step "results of the Windows and the Linux build compared"
compare="$root/build/win32/compare"
rm -rf "$compare"
mkdir -p "$compare/samples" "$compare/made" "$compare/linux" "$compare/windows"
cd "$compare"
if [ -x "$linux_bin/bmpsamples" ]; then
    "$linux_bin/bmpsamples" samples
fi
# The Linux build's exports of made images in every colour format serve as
# samples too.
"$linux_bin/tools/winhost/winhost" run "$linux_bin/libBmpFilter.so" made 2>/dev/null ||
    fail "Linux run of the made images"
cp made/*.exported.bmp samples/
mapfile -t samples < <(find samples -maxdepth 1 -type f -name '*.bmp' | sort)
"$linux_bin/tools/winhost/winhost" run "$linux_bin/libBmpFilter.so" linux "${samples[@]}" \
    2>/dev/null || fail "Linux run of the samples"
"$root/cmake/wine-run.sh" "$bin/winhost.exe" run "$dll" windows "${samples[@]}" 2>/dev/null ||
    fail "Windows run of the samples"
files=$(find linux -type f | wc -l)
bmps=$(find linux -type f -name '*.exported.bmp' | wc -l)
if ! diff -r linux windows; then
    fail "the Windows build's results differ from the Linux build's"
fi
made=$(find linux -maxdepth 1 -regex '.*/format[0-9]+\.txt' | wc -l)
echo "${#samples[@]} samples and $made made images: $files result files ($bmps exported BMP files) identical"

# --- Built against the stand-in's kit ------------------------------------------------
# The DLL built outside the source tree against the installed stand-in, as
# against a host's own kit (scripts/sdk-module.sh), gives the same results.
step "BmpFilter.dll built against the installed stand-in, compared"
sdk_work=$(mktemp -d "${TMPDIR:-/tmp}/bmp-sdk-win32.XXXXXX")
trap 'wineserver -k 2>/dev/null || true; rm -rf "$sdk_work"' EXIT
sdk_dll=$(bash "$root/scripts/sdk-module.sh" "$root/build/win32" "$sdk_work" \
    --toolchain "$root/cmake/toolchain-i686-w64-mingw32.cmake")
/usr/bin/python3 "$root/scripts/check-win32-module.py" "$sdk_dll" >/dev/null ||
    fail "module check of the DLL built against the kit"
rm -rf sdk && mkdir sdk
"$root/cmake/wine-run.sh" "$bin/winhost.exe" run "$sdk_dll" sdk "${samples[@]}" 2>/dev/null ||
    fail "Windows run of the DLL built against the kit"
diff -r linux sdk || fail "the DLL built against the kit gives other results"
echo "the DLL built against the kit: $(find sdk -type f | wc -l) result files identical"
cd "$root"

# --- The Windows kit, and a host built on it -------------------------------------------
# `cmake --install` of the Windows build, moved, is a kit for Windows: the
# example host is built from its own copy, outside the source tree, against
# it alone, and run under Wine over the samples; its results must equal the
# example's built against the Linux kit (scripts/example-results.sh).
step "the Windows kit installed; the example host built on it, run under Wine, compared"
kit_work=$(mktemp -d "${TMPDIR:-/tmp}/bmp-kit-win32.XXXXXX")
trap 'wineserver -k 2>/dev/null || true; rm -rf "$sdk_work" "$kit_work"' EXIT
cmake --install build/win32 --prefix "$kit_work/installed" >/dev/null
mkdir "$kit_work/elsewhere"
mv "$kit_work/installed" "$kit_work/elsewhere/kit"
kit=$kit_work/elsewhere/kit
for file in bin/host.dll lib/libhost.dll.a bin/BmpFilter.dll bin/libgcc_s_dw2-1.dll bin/libstdc++-6.dll \
    include/orix/IoFilter.h include/standin/Manager.h include/bmpfilter/Version.h \
    lib/cmake/BmpFilter/BmpFilterConfig.cmake lib/cmake/BmpFilter/BmpFilterTargets.cmake \
    lib/pkgconfig/bmpfilter.pc share/doc/BmpFilter/LICENSE; do
    [ -e "$kit/$file" ] || fail "the Windows kit lacks $file"
done
[ ! -e "$kit/lib/libBmpFilter.dll.a" ] || fail "the Windows kit holds the module's import library"
example_src=$kit/share/doc/BmpFilter/examples/minimal-host
cmake -S "$example_src" -B "$kit_work/windows-example" --toolchain "$root/cmake/toolchain-i686-w64-mingw32.cmake" \
    -DBmpFilter_DIR="$kit/lib/cmake/BmpFilter" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >"$kit_work/configure.log" 2>&1 ||
    { cat "$kit_work/configure.log"; fail "configuring the example for Windows"; }
! grep -q Warning "$kit_work/configure.log" || { cat "$kit_work/configure.log"; fail "warnings configuring it"; }
cmake --build "$kit_work/windows-example" -j 2 >/dev/null || fail "building the example for Windows"
windows_example=$kit_work/windows-example/minimal-host.exe
[ -f "$windows_example" ] || fail "no minimal-host.exe"
# The Linux example, on the Linux build's kit, gives the reference.
cmake --install build/dev --prefix "$kit_work/linux-kit" >/dev/null
cmake -S "$kit_work/linux-kit/share/doc/BmpFilter/examples/minimal-host" -B "$kit_work/linux-example" \
    -DCMAKE_PREFIX_PATH="$kit_work/linux-kit" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$kit_work/linux-example" -j 2 >/dev/null
bash scripts/example-results.sh "$kit_work/linux-example/minimal-host" "$kit_work/linux-kit/lib/libBmpFilter.so" \
    "$compare/samples" "$kit_work/linux-results"
# host.dll and the runtime DLLs from the kit's bin, as a PATH would give them.
WINEPATH=$(winepath -w "$kit/bin" 2>/dev/null) bash scripts/example-results.sh "$windows_example" \
    "$kit/bin/BmpFilter.dll" "$compare/samples" "$kit_work/windows-results" "$root/cmake/wine-run.sh"
diff -r "$kit_work/linux-results" "$kit_work/windows-results" ||
    fail "the Windows example built on the Windows kit gives other results than the Linux example"
echo "the Windows example on the installed kit: $(find "$kit_work/windows-results" -type f | wc -l)" \
    "result files ($(find "$kit_work/windows-results" -name '*.bmp' | wc -l) converted files) equal to the Linux example's"

echo "== win32: all passed in $(($(date +%s) - started)) s"
