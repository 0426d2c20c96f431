#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the project and runs every test.
# PRESET=asan runs the sanitizer build instead of the plain one.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${PRESET:-dev}"
bash scripts/deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset"
