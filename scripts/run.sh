#!/usr/bin/env bash
# The demo: builds the Windows program and the test driver DLL with
# MinGW-w64, installs three sample drivers served by the DLL in a private,
# throwaway Wine prefix, and runs the program there.
set -euo pipefail
cd "$(dirname "$0")/.."

case "$(uname -s)" in
MINGW* | MSYS* | CYGWIN*)
    echo "On Windows, build with the msvc-x64 preset and run build/msvc-x64/Release/asio-report.exe." >&2
    exit 1
    ;;
esac

# The preset also configures the tests, which need GoogleTest's sources.
scripts/install-tools.sh cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64
source scripts/wine.sh

cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 --target asio-report asio-testdriver

throwawayWinePrefix
mkdir -m 700 "$WINEPREFIX"
echo "Preparing a Wine prefix..."
# Wine's background services keep inherited output open after the boot, so
# their output goes to files, never to a pipe.
"$wine64" wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }

mkdir "$WINEPREFIX/drive_c/testdriver"
cp build/mingw-x64/testdriver/asio-testdriver.dll "$WINEPREFIX/drive_c/testdriver/"
# The drivers' scripts, and their registrations as their installers would
# write them.
for registry in testdriver/profiles.reg tests/scenarios/sampleDrivers/registry.reg; do
    sed 's/@SERVER@/C:\\\\testdriver\\\\asio-testdriver.dll/' "$registry" >"$work/import.reg"
    "$wine64" regedit /S 'Z:'"${work//\//\\}"'\import.reg' >"$work/regedit.log" 2>&1 || {
        cat "$work/regedit.log"
        exit 1
    }
done

echo
"$wine64" build/mingw-x64/asio-report.exe </dev/null
