#!/usr/bin/env bash
# Builds the release: both Windows programs with the presets release-x64 and
# release-x86, each in a build directory made afresh, packed with the README
# for Windows users and the licence into
#     dist/asio-report-VERSION-windows.zip
# whose one folder, asio-report-VERSION/, dist/ also holds unpacked, and
#     dist/SHA256SUMS
# with the sums of the zip and of the two programs, each program under its
# path in the zip, so that `sha256sum -c SHA256SUMS` in dist/ checks all
# three. VERSION is the project's version, as CMake wrote it for the build.
#
# Two runs from the same commit give the same bytes, wherever the clone is
# and whatever the umask: the programs carry no time stamp and no path of
# the build, and the zip's entries come in a fixed order with fixed modes
# and the last commit's time. The zip is made by Info-ZIP's zip without
# extra attributes, since CMake's own zip writer stores every file's access
# and change times.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-tools.sh cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix zip

SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
# A zip entry's time is local time.
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C

for preset in release-x64 release-x86; do
    rm -rf "build/$preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

version=$(sed -n 's/^#define ASIO_REPORT_VERSION_TEXT "\(.*\)"$/\1/p' build/release-x64/app/versionInfo.h)
folder="asio-report-$version"
zip="$folder-windows.zip"

rm -rf dist
mkdir -p "dist/$folder"
cp build/release-x64/asio-report.exe build/release-x86/asio-report-x86.exe \
    build/release-x64/README.txt build/release-x64/LICENSE.txt "dist/$folder/"
cd dist
chmod 755 "$folder" "$folder"/*.exe
chmod 644 "$folder"/*.txt
touch -d "@$SOURCE_DATE_EPOCH" "$folder" "$folder"/*
env -u ZIP -u ZIPOPT zip -q -X "$zip" "$folder/" "$folder/LICENSE.txt" "$folder/README.txt" \
    "$folder/asio-report-x86.exe" "$folder/asio-report.exe"
sha256sum "$zip" "$folder/asio-report.exe" "$folder/asio-report-x86.exe" >SHA256SUMS
echo "== dist/"
cat SHA256SUMS
