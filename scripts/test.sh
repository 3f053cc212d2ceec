#!/usr/bin/env bash
# Builds and runs every test: formatting; the unit tests natively, under
# AddressSanitizer and UndefinedBehaviorSanitizer, and under Valgrind; a
# short fuzzing run; the 64-bit and the 32-bit Windows builds under Wine
# (unit tests, the program's resources, the seam's contract, end to end);
# the release programs end to end; and the release, made twice, for the
# same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

# The 32-bit Windows programs run on Wine's 32-bit half.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo dpkg --add-architecture i386
fi
scripts/install-tools.sh cmake ninja-build g++ libgtest-dev googletest clang-format python3 valgrind \
    clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine32:i386

echo "== formatting"
git ls-files -co --exclude-standard -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

for preset in native native-sanitize; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

echo "== valgrind"
valgrind --quiet --error-exitcode=1 --leak-check=full build/native/tests/unit-tests >/dev/null
valgrind --quiet --error-exitcode=1 --leak-check=full build/native/tests/platform/contract-memory >/dev/null

echo "== fuzz"
scripts/fuzz.sh 10

WINEPREFIX="$(mktemp -d)"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
for preset in mingw-x64 mingw-x86; do
    echo "== $preset under Wine"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

# The release programs' end-to-end runs mostly wait out the drivers that
# hang, so they run beside the two release builds of the reproducibility
# check.
echo "== the release: end to end under Wine, and made twice for the same bytes"
scripts/release.sh >/dev/null
logs=$(mktemp -d)
python3 tests/e2e/runScenarios.py --exe dist/asio-report-*/asio-report.exe \
    --dll build/mingw-x64/testdriver/asio-testdriver.dll --wine /usr/lib/wine/wine64 --bits 64 >"$logs/x64" 2>&1 &
x64=$!
python3 tests/e2e/runScenarios.py --exe dist/asio-report-*/asio-report-x86.exe \
    --dll build/mingw-x86/testdriver/asio-testdriver.dll --wine /usr/lib/wine/wine --bits 32 >"$logs/x86" 2>&1 &
x86=$!
scripts/check-reproducible.sh
passed=true
wait $x64 || passed=false
wait $x86 || passed=false
cat "$logs/x64" "$logs/x86"
rm -rf "$logs"
$passed
