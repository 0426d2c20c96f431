#!/usr/bin/env bash
# Builds the optimised preset and prints the benchmark table with the ratios
# to the peers. Extra arguments go to Google Benchmark, for example
#   scripts/bench.sh --benchmark_filter=import/24
# BMP_BENCH_SIZE (default 4096) sets the picture size; BMP_BENCH_DIR where the
# generated inputs are kept (default build/release/bench-data).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >/dev/null  # Google Benchmark and stb_image among them
cmake --preset release >/dev/null
cmake --build --preset release --target bmp_bench >/dev/null
export BMP_BENCH_DIR="${BMP_BENCH_DIR:-$PWD/build/release/bench-data}"
exec build/release/bench/bmp_bench --benchmark_min_time=1 "$@"
