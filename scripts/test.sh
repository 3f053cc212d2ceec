#!/usr/bin/env bash
# Builds and runs every test: formatting; the unit tests natively, under
# AddressSanitizer and UndefinedBehaviorSanitizer, and under Valgrind; a
# short fuzzing run; the 64-bit and the 32-bit Windows builds under Wine
# (unit tests, the program's resources, the seam's Windows side, end to end);
# the release programs end to end; and the release, made twice, for the
# same bytes. On a host that cannot run 32-bit programs, the 32-bit runs
# are skipped and the last lines say so; everything else runs. The Windows
# runs get a screen of their own, for the windows drivers show.
set -euo pipefail
cd "$(dirname "$0")/.."

# The 32-bit Windows programs run on Wine's 32-bit half. Its packages
# install on a host that cannot run them too, and do no harm there.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo dpkg --add-architecture i386
fi
scripts/install-tools.sh cmake ninja-build g++ libgtest-dev googletest clang-format valgrind \
    clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine32:i386 xvfb

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

echo "== fuzz"
scripts/fuzz.sh 10

# Whether this host runs 32-bit programs is asked of Wine's 32-bit loader,
# never of a program of ours: only the kernel's refusal to execute it makes
# the 32-bit runs skips (cmake/wine32.sh, also the 32-bit build's test
# emulator, through which CTest reports them as skipped).
echo "== can this host run 32-bit programs?"
runs32=true
cmake/wine32.sh --check || {
    status=$?
    [ $status -eq 77 ] || exit $status
    runs32=false
}

source scripts/wine.sh
throwawayWinePrefix
startScreen
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
# scenarios PRESET WINE PROGRAM: the scenarios of the Windows unit tests,
# against PROGRAM, under WINE in a prefix of their own in $work; their
# output is shown when they fail.
scenarios() {
    local status=0
    WINEPREFIX="$work/$1-prefix" ASIO_REPORT_PROGRAM="Z:$PWD/$(echo dist/asio-report-*/"$3")" \
        ASIO_REPORT_HANG_SECONDS=30 "$2" "build/$1/tests/unit-tests.exe" --gtest_filter='Scenarios/*' \
        >"$work/$1.log" 2>&1 || status=$?
    WINEPREFIX="$work/$1-prefix" "$wineserver" -k 2>/dev/null || true
    [ $status -eq 0 ] || cat "$work/$1.log"
    return $status
}
scenarios mingw-x64 "$wine64" asio-report.exe &
pids=($!)
if $runs32; then
    scenarios mingw-x86 "$wine32" asio-report-x86.exe &
    pids+=($!)
fi
scripts/check-reproducible.sh
passed=true
for pid in "${pids[@]}"; do
    wait "$pid" || passed=false
done
$passed
echo "The release programs passed the scenarios."

if ! $runs32; then
    echo
    echo "32-bit Windows tests skipped: this machine cannot run 32-bit programs (the kernel refuses 32-bit executables)."
    echo "Skipped: the mingw-x86 unit tests, storage tests, platform and console tests, and the scenarios against asio-report-x86.exe; both programs were still built, and the release made twice and compared."
fi
