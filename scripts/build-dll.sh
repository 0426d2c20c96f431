#!/usr/bin/env bash
# Builds only the plug-in for 32-bit Windows, BmpFilter.dll, with Debian's
# mingw-w64 (i686): no tests, no GoogleTest, no Wine. Installs CMake and the
# cross toolchain when missing (that needs root). The DLL lands in
# build/win32-dll/bin/BmpFilter.dll. BMP_HOST_SDK=DIR builds it against a
# host's own kit (DIR/include, DIR/lib) instead of the stand-in.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --only cmake make g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix \
    binutils-mingw-w64-i686 mingw-w64-i686-dev
cmake --preset win32-dll -DBMP_HOST_SDK="${BMP_HOST_SDK:-}" >/dev/null
cmake --build --preset win32-dll
echo "BmpFilter.dll: $PWD/build/win32-dll/bin/BmpFilter.dll"
