#!/usr/bin/env bash
# Prints the project's one version, as project(VERSION) in CMakeLists.txt gives it.
set -euo pipefail
sed -n 's/^project(BmpFilter VERSION \([0-9][0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt"
