#!/usr/bin/env bash
# Builds and runs every test: formatting; the unit tests natively and under
# AddressSanitizer and UndefinedBehaviorSanitizer; the Windows build under
# Wine (unit tests, the seam's contract, end to end).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh cmake ninja-build g++ libgtest-dev googletest clang-format python3 \
    g++-mingw-w64-x86-64-posix wine64

echo "== formatting"
git ls-files -co --exclude-standard -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

for preset in native native-sanitize; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

echo "== mingw-x64 under Wine"
WINEPREFIX="$(mktemp -d)"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64
ctest --preset mingw-x64
