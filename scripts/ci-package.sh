#!/usr/bin/env bash
# The installed kit as a package a company ships: the release build is
# installed, and its kit component alone, each moved elsewhere, and checked:
#   - the licence and the changelog are installed with the docs;
#   - libhost.so carries its major version as SONAME, which the module,
#     bmphost and hosts record; the module keeps its plain plug-in name;
#   - one version: project(VERSION), the kit's bmpfilter/Version.h, the CMake
#     package, the pkg-config file and bmphost --version agree;
#   - the pkg-config file, moved with the kit, builds and links the example
#     host, whose results equal those of the example built with CMake;
#   - the imported targets carry C++17 (a C++11 project on them builds as
#     C++17);
#   - the kit component names no file it did not install: every path in its
#     package and pkg-config files exists, BmpFilter_MODULE is unset, and a
#     host asking for the module is told it is missing;
#   - every system library the installed programs and libraries need comes
#     from a Debian package that docs/kit.md names.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh pkgconf >/dev/null
source scripts/installed-tree.sh package
version=$(bash scripts/project-version.sh)
major=${version%%.*}
IFS=. read -r v_major v_minor v_patch <<<"$version"
full_version="$v_major.${v_minor:-0}.${v_patch:-0}"

cmake --install build/release --prefix "$work/installed" >/dev/null
cmake --install build/release --prefix "$work/kit-installed" --component kit >/dev/null
mkdir "$work/elsewhere"
mv "$work/installed" "$work/elsewhere/full"
mv "$work/kit-installed" "$work/elsewhere/kit"
full=$work/elsewhere/full
kit=$work/elsewhere/kit
docs=$full/share/doc/BmpFilter

# --- Licence and changelog ----------------------------------------------------
for tree in "$full" "$kit"; do
    for file in LICENSE CHANGELOG.md; do
        cmp -s "$file" "$tree/share/doc/BmpFilter/$file" || fail "${tree#"$work"/} lacks $file"
    done
done
echo "package: LICENSE and CHANGELOG.md installed with the docs, by the kit component too"

# --- SONAME -------------------------------------------------------------------
field() { readelf -d "$1" | sed -n "s/.*($2).*\[\(.*\)\]/\1/p"; }
library=$full/lib/libhost.so.$version
[ -f "$library" ] && [ ! -L "$library" ] || fail "no lib/libhost.so.$version"
[ "$(field "$library" SONAME)" = "libhost.so.$major" ] ||
    fail "libhost's SONAME is '$(field "$library" SONAME)', not libhost.so.$major"
[ "$(readlink "$full/lib/libhost.so.$major")" = "libhost.so.$version" ] &&
    [ "$(readlink "$full/lib/libhost.so")" = "libhost.so.$major" ] || fail "libhost's links"
module=$full/lib/libBmpFilter.so
[ -f "$module" ] && [ ! -L "$module" ] && [ "$(field "$module" SONAME)" = libBmpFilter.so ] ||
    fail "the module is not the plain file libBmpFilter.so"
for binary in "$module" "$full/bin/bmphost"; do
    field "$binary" NEEDED | grep -qx "libhost.so.$major" || fail "$binary does not need libhost.so.$major"
done
echo "package: libhost.so.$version has SONAME libhost.so.$major, which the module and bmphost need"

# --- One version --------------------------------------------------------------
# The CMake package and the header, through a C++11 project built on the
# imported targets, which must raise it to C++17; then pkg-config and bmphost.
consumer() {
    rm -rf "$work/consumer"
    cmake -S scripts/kit-consumer -B "$work/consumer" -DCMAKE_PREFIX_PATH="$1" \
        -DEXPECTED_VERSION="$version" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >"$work/consumer.log" 2>&1 &&
        cmake --build "$work/consumer" -j 2 >>"$work/consumer.log" 2>&1 ||
        { cat "$work/consumer.log"; fail "a C++11 project on ${1#"$work"/}'s BmpFilter::host and ::standin"; }
    for target in host standin; do
        [ "$("$work/consumer/uses-$target")" = "$version $full_version" ] ||
            fail "Version.h through BmpFilter::$target gives '$("$work/consumer/uses-$target")'"
    done
}
consumer "$full"
grep -qx "version $version" "$work/consumer/kit-package.txt" || fail "the CMake package's version"
grep -qx "module $module" "$work/consumer/kit-package.txt" ||
    fail "BmpFilter_MODULE is not the moved module: $(cat "$work/consumer/kit-package.txt")"
[ "$(PKG_CONFIG_PATH=$full/lib/pkgconfig pkg-config --modversion bmpfilter)" = "$version" ] ||
    fail "the pkg-config file's version"
[ "$("$full/bin/bmphost" --version | head -n 1)" = "bmphost $version" ] || fail "bmphost --version"
echo "package: $version in project(VERSION), Version.h ($full_version), the CMake package, pkg-config and bmphost;" \
    "a C++11 project on the imported targets builds as C++17"

# --- pkg-config: the example host built and linked against the moved kit ---------
pc=$full/lib/pkgconfig/bmpfilter.pc
! grep -qF "$work/installed" "$pc" || fail "the pkg-config file names the folder it was installed to"
export PKG_CONFIG_PATH=$full/lib/pkgconfig
read -ra flags < <(pkg-config --cflags --libs bmpfilter)
libdir=$(pkg-config --variable=libdir bmpfilter)
c++ -std=c++17 -O2 -Wall -Wextra -Werror "$docs/examples/minimal-host/main.cpp" "${flags[@]}" -ldl \
    -Wl,-rpath,"$libdir" -o "$work/pc-example" || fail "building the example with pkg-config"
ldd "$work/pc-example" >"$work/ldd.txt"
grep -qF "libhost.so.$major => $libdir/libhost.so.$major" "$work/ldd.txt" ||
    fail "the pkg-config example links another libhost: $(grep libhost "$work/ldd.txt")"
cmake -S "$docs/examples/minimal-host" -B "$work/cmake-example" -DCMAKE_PREFIX_PATH="$full" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$work/cmake-example" -j 2 >/dev/null
build/release/bmpsamples "$work/samples" >/dev/null
bash scripts/example-results.sh "$work/pc-example" "$module" "$work/samples" "$work/pc-results"
bash scripts/example-results.sh "$work/cmake-example/minimal-host" "$module" "$work/samples" \
    "$work/cmake-results"
diff -r "$work/cmake-results" "$work/pc-results" >&2 ||
    fail "the example built with pkg-config gives other results than the one built with CMake"
echo "package: the example built and linked with the moved kit's pkg-config file:" \
    "$(find "$work/pc-results" -type f | wc -l) result files equal to the CMake-built example's"
unset PKG_CONFIG_PATH

# --- The kit component alone --------------------------------------------------
[ ! -e "$kit/bin/bmphost" ] && [ ! -e "$kit/lib/libBmpFilter.so" ] || fail "the kit component installed the runtime"
# Every path the package's and pkg-config's files name, resolved in the tree.
named=0
while IFS= read -r path; do
    named=$((named + 1))
    [ -e "$kit/$path" ] || fail "the kit component's package names $path, not installed"
done < <(grep -oh '${_IMPORT_PREFIX}/[^";]*' "$kit"/lib/cmake/BmpFilter/*.cmake | sed 's|^${_IMPORT_PREFIX}/||' | sort -u)
for variable in includedir libdir; do
    named=$((named + 1))
    [ -d "$(PKG_CONFIG_PATH=$kit/lib/pkgconfig pkg-config --variable=$variable bmpfilter)" ] ||
        fail "the kit component's pkg-config $variable is not there"
done
[ -e "$(PKG_CONFIG_PATH=$kit/lib/pkgconfig pkg-config --variable=libdir bmpfilter)/libhost.so" ] ||
    fail "the kit component's pkg-config -lhost finds nothing"
consumer "$kit"
grep -qx "module (none)" "$work/consumer/kit-package.txt" ||
    fail "the kit component's package sets $(grep module "$work/consumer/kit-package.txt")"
if cmake -S "$kit/share/doc/BmpFilter/examples/minimal-host" -B "$work/kit-example" \
    -DCMAKE_PREFIX_PATH="$kit" >"$work/kit-example.log" 2>&1; then
    fail "a host asking for the module configured against the kit component alone"
fi
grep -q 'the module is not installed with this kit' "$work/kit-example.log" ||
    { cat "$work/kit-example.log"; fail "a host asking for the missing module is not told why"; }
echo "package: the kit component alone: $named paths named by its package files all installed," \
    "no BmpFilter_MODULE, the module asked for and refused with a reason"

# --- What the install needs from the system ------------------------------------
kit_md=$docs/docs/kit.md
packages=()
for binary in "$full/bin/bmphost" "$module" "$library"; do
    for needed in $(field "$binary" NEEDED); do
        [ -e "$full/lib/$needed" ] && continue
        # Whole outputs read (no early exit), so that no writer dies of a closed pipe.
        path=$(ldconfig -p | awk -v n="$needed" '$1 == n && /x86-64/ && !p {print $NF; p = 1}')
        [ -n "$path" ] || fail "$needed, needed by $(basename "$binary"), is not on this system"
        package=$( (dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")") | awk -F: 'NR == 1 {print $1}')
        grep -qF "\`$package\`" "$kit_md" ||
            fail "docs/kit.md does not name $package ($needed, needed by $(basename "$binary"))"
        packages+=("$package")
    done
done
echo "package: docs/kit.md names the system's packages the install needs:" \
    "$(printf '%s\n' "${packages[@]}" | sort -u | tr '\n' ' ')"
