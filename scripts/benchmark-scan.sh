#!/usr/bin/env bash
# Measures the registry scan under Wine: builds the benchmark with
# MinGW-w64 and runs it in a private, throwaway prefix that it fills with
# about 20,000 class keys.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 --target scan-benchmark

source scripts/wine.sh
throwawayWinePrefix
# Wine's background services keep inherited output open, so the boot's
# output goes to a file.
"$wine64" wineboot --init >"$work/wineboot.log" 2>&1
"$wine64" build/mingw-x64/benchmarks/scan-benchmark.exe
