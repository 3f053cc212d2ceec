#!/usr/bin/env bash
# Measures what each driver's process of its own costs under Wine: builds
# the program, the benchmark and the test driver DLL with MinGW-w64,
# registers 100 drivers served by the DLL in a private, throwaway prefix,
# and runs the benchmark there, per driver over 20 and over 100 drivers,
# and over the whole program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 --target asio-report isolation-benchmark asio-testdriver

source scripts/wine.sh
throwawayWinePrefix
# Wine's background services keep inherited output open, so the boot's
# output goes to a file.
"$wine64" wineboot --init >"$work/wineboot.log" 2>&1
mkdir "$WINEPREFIX/drive_c/testdriver"
cp build/mingw-x64/testdriver/asio-testdriver.dll build/mingw-x64/asio-report.exe "$WINEPREFIX/drive_c/testdriver/"
# A folder where the DLL would write its log: the drivers log nothing.
mkdir "$WINEPREFIX/drive_c/testdriver/asio-testdriver.dll.log"
pcm='{7E57A5D0-0000-4E57-A5D0-000000000002}'
{
    sed 's/@SERVER@/C:\\\\testdriver\\\\asio-testdriver.dll/' testdriver/profiles.reg
    printf '[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]\n@="C:\\\\testdriver\\\\asio-testdriver.dll"\n' "$pcm"
    for n in $(seq -w 1 100); do
        printf '[HKEY_LOCAL_MACHINE\\Software\\ASIO\\Driver %s]\n"clsid"="%s"\n' "$n" "$pcm"
    done
} >"$work/drivers.reg"
"$wine64" regedit /S 'Z:'"${work//\//\\}"'\drivers.reg' >"$work/regedit.log" 2>&1
"$wine64" build/mingw-x64/benchmarks/isolation-benchmark.exe 'C:\testdriver\asio-report.exe' >/dev/null
