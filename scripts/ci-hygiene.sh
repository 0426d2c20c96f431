#!/usr/bin/env bash
# The build as a user or another project meets it:
#   - warnings are errors in the project's presets only: a configure without
#     them compiles nothing with -Werror, one with a preset compiles all of
#     the project's own code with it;
#   - no warning is silenced project-wide: no -Wno-... in the presets or the
#     CMake files, nor in the compile commands of any build configured here;
#   - another project takes this one in with add_subdirectory, with the
#     tools and tests off: its configure looks for no package or library
#     (the compiler and CMake alone), it builds BmpFilter and a program of
#     its own on the stand-in, no target of it gives its users the
#     repository's root as an include folder, and it installs the module
#     and the kit;
#   - with the tools and tests on, such a project configures too.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d "${TMPDIR:-/tmp}/bmp-hygiene.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "hygiene: FAILED: $*" >&2
    exit 1
}
# The compile commands of a configured build, one per line, without the
# third-party code built from source (GoogleTest for Windows).
commands() { grep '"command":' "$1/compile_commands.json" | grep -v '/googletest/' || true; }

# --- Warnings as errors, and no warning silenced ---------------------------------
mapfile -t build_files < <(git ls-files CMakePresets.json 'CMakeLists.txt' '*/CMakeLists.txt' 'cmake/*.cmake')
! grep -n -- '-Werror\|-Wno-' "${build_files[@]}" || fail "warning options in the build files above"
cmake -S . -B "$work/plain" -DCMAKE_BUILD_TYPE=Release >/dev/null
[ "$(commands "$work/plain" | wc -l)" -gt 0 ] || fail "no compile commands without a preset"
! commands "$work/plain" | grep -q -- '-Werror' || fail "-Werror in a build configured without a preset"
checked=(plain)
for build in build/*/; do
    [ -f "$build/compile_commands.json" ] || continue
    silenced=$(commands "$build" | grep -- '-Wno-' || true)
    [ -z "$silenced" ] || { echo "$silenced" | cut -c1-300 >&2; fail "a warning silenced in $build"; }
    lenient=$(commands "$build" | grep -v -- '-Werror' || true)
    [ -z "$lenient" ] || { echo "$lenient" | cut -c1-300 >&2; fail "code built without -Werror in $build"; }
    checked+=("$(basename "$build")")
done
cmake --preset dev >/dev/null
[ -z "$(commands build/dev | grep -v -- '-Werror' || true)" ] || fail "the dev preset builds code without -Werror"
echo "hygiene: -Werror only with a preset, no -Wno- in the build files or in the builds ${checked[*]}"

# --- Taken in by another project ----------------------------------------------------
mkdir -p "$work/outer"
cat >"$work/outer/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(Outer LANGUAGES C CXX)
add_subdirectory(${BMP_SOURCE} bmpfilter)
add_executable(outer outer.cpp)
target_link_libraries(outer PRIVATE host_standin)

# No target of the subproject hands its users the repository's root.
function(check_interfaces dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(folders ${target} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(folder ${folders})
      string(REGEX REPLACE "^\\$<BUILD_INTERFACE:(.*)>$" "\\1" folder "${folder}")
      if(folder AND IS_DIRECTORY "${folder}" AND "${folder}" PATH_EQUAL "${BMP_SOURCE}")
        message(FATAL_ERROR "${target} gives its users the repository's root as an include folder")
      endif()
    endforeach()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    check_interfaces(${subdir})
  endforeach()
endfunction()
check_interfaces(${BMP_SOURCE})
EOF
cat >"$work/outer/outer.cpp" <<'EOF'
#include <cstdio>

#include "bmpfilter/Version.h"
#include "standin/Manager.h"

int main() {
    standin::Manager manager;
    std::printf("%s\n", BMPFILTER_VERSION_STRING);
    return manager.m_leadingFlag;
}
EOF
cmake -S "$work/outer" -B "$work/outer-build" -DBMP_SOURCE="$root" -DBMP_BUILD_TOOLS=OFF \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    --trace-format=json-v1 --trace-redirect="$work/trace.json" >"$work/outer.log" 2>&1 ||
    { cat "$work/outer.log"; fail "configuring a project that adds this one as a subdirectory"; }
# Every find_* call made by the project's own CMake files.
/usr/bin/python3 - "$work/trace.json" "$root" <<'PY' || fail "the module and the kit look for more than the compiler"
import json, sys
trace, root = sys.argv[1], sys.argv[2] + "/"
found = []
for line in open(trace):
    event = json.loads(line)
    if event.get("cmd", "").lower().startswith("find_") and event.get("file", "").startswith(root):
        found.append(f'{event["file"][len(root):]}:{event["line"]}: {event["cmd"]}({" ".join(event["args"])})')
for call in found:
    print("hygiene: with the tools off, " + call, file=sys.stderr)
sys.exit(1 if found else 0)
PY
cmake --build "$work/outer-build" --target BmpFilter outer -j 2 >"$work/outer.log" 2>&1 ||
    { tail -n 40 "$work/outer.log"; fail "building BmpFilter and a program of its own as a subproject"; }
[ "$("$work/outer-build/outer")" = "$(bash scripts/project-version.sh)" ] || fail "the outer program's version"
cmake --install "$work/outer-build" --prefix "$work/outer-installed" >/dev/null
for file in lib/libBmpFilter.so lib/libhost.so.0 include/bmpfilter/Version.h include/orix/IoFilter.h \
    lib/cmake/BmpFilter/BmpFilterConfig.cmake lib/pkgconfig/bmpfilter.pc; do
    [ -e "$work/outer-installed/$file" ] || fail "the subproject did not install $file"
done
echo "hygiene: taken in with add_subdirectory and the tools off: no find_* call, BmpFilter and the" \
    "outer program built, the module and the kit installed"
cmake -S "$work/outer" -B "$work/outer-tools" -DBMP_SOURCE="$root" >"$work/outer.log" 2>&1 ||
    { cat "$work/outer.log"; fail "configuring the subproject with the tools and tests"; }
echo "hygiene: taken in with the tools and tests on: configured"
