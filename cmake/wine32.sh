#!/usr/bin/env bash
# The test emulator of the 32-bit Windows build: runs a program under
# Wine's 32-bit loader.
#
# Some hosts run 64-bit code only: their kernel refuses every 32-bit
# executable, Wine's 32-bit loader included, with "Exec format error".
# That refusal comes from the host before any code of ours runs, so a test
# there is skipped (status 77, the build's SKIP_RETURN_CODE), never failed.
# Everything else is the test's own outcome: a program that starts and
# then fails fails, even with status 77.
#
# Usage: wine32.sh PROGRAM [ARGUMENT...]
#        wine32.sh --check   0 when this host runs 32-bit programs, 77 (and
#                            the reason) when its kernel refuses them, 1
#                            when the loader fails otherwise
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine.sh"

# The loader answers --version by itself, without a prefix or a program.
refusal=$(LC_ALL=C "$wine32" --version 2>&1 >/dev/null)
status=$?
if [ $status -eq 126 ] && [[ $refusal == *"Exec format error"* ]]; then
    echo "skipped: this machine cannot run 32-bit programs (the kernel refuses 32-bit executables)" >&2
    exit 77
fi
if [ "${1:-}" = --check ]; then
    [ $status -eq 0 ] || echo "$refusal" >&2
    [ $status -eq 0 ] && exit 0
    exit 1
fi

"$wine32" "$@"
status=$?
if [ $status -eq 77 ]; then
    echo "wine32.sh: the program itself ended with status 77, which is no skip" >&2
    exit 1
fi
exit $status
