#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the module and lists what it exports.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
echo "Module exports:"
nm -D --defined-only build/release/libBmpFilter.so
