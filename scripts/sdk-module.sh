#!/usr/bin/env bash
# Builds the module as a host's developer builds it against the host's own
# kit, with the stand-in in the host's place: `cmake --install` of the build
# STANDIN_BUILD makes the kit WORK/kit (the contract's headers and the host
# library), and the module alone is configured with BMP_HOST_SDK=WORK/kit in
# WORK/module, outside the source tree. Extra arguments go to that configure
# step (for Windows, the toolchain). Prints the module's path.
#   scripts/sdk-module.sh STANDIN_BUILD WORK [CMAKE_ARGUMENT...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
work=$2
shift 2
cmake --install "$build" --prefix "$work/kit" --component kit >/dev/null
cmake -S "$root" -B "$work/module" -DBMP_HOST_SDK="$work/kit" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$@" \
    >/dev/null
cmake --build "$work/module" --target BmpFilter -j 2 >/dev/null
find "$work/module" -maxdepth 2 -type f \( -name libBmpFilter.so -o -name BmpFilter.dll \)
