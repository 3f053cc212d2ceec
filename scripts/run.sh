#!/usr/bin/env bash
# Builds the program and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh cmake ninja-build g++ libgtest-dev
cmake --preset native >/dev/null
cmake --build --preset native --target asio-report
build/native/asio-report </dev/null
