#!/usr/bin/env bash
# Builds the libFuzzer target (preset "fuzz") and runs it for SECONDS
# seconds, seeded with the end-to-end scenarios' registries and the test
# driver's scripts. Exits non-zero when it crashes, leaks, hangs or fails
# one of its checks; the run's log and the input that did it are kept in a
# directory named on the way out.
# Usage: fuzz.sh SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz.sh SECONDS}
scripts/install-tools.sh cmake ninja-build clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=$(mktemp -d)
echo "== report-fuzzer for $seconds s"
mkdir -p "$work/corpus" "$work/crashes"
# The test driver's scripts of the classes named.
scriptsOf() {
    awk -v RS= -v ORS='\n\n' -v classes="$1" \
        'match($0, /\{[0-9A-F-]+\}/) && index(classes, substr($0, RSTART, RLENGTH))' testdriver/profiles.reg
}
for registry in tests/scenarios/*/registry.reg; do
    # Each seed carries the scripts its drivers use: those of the classes it
    # names, and of the classes those are like. It leaves out manyDrivers:
    # inputs bred from its hundred-odd drivers ran up to ten times as long,
    # and its cap is the scenario's to check.
    if [ "$registry" = tests/scenarios/manyDrivers/registry.reg ]; then
        continue
    fi
    classes=$(grep -oiE '\{[0-9a-f-]+\}' "$registry" | tr a-f A-F || true)
    for _ in 1 2 3 4; do
        classes="$classes $(scriptsOf "$classes" | grep -oE '"like"="\{[0-9A-F-]+\}"' | grep -oE '\{[0-9A-F-]+\}' || true)"
    done
    { cat "$registry"; scriptsOf "$classes"; } >"$work/corpus/$(basename "$(dirname "$registry")")"
done
if ! build/fuzz/fuzz/report-fuzzer -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/crashes/" "$work/corpus" >"$work/log" 2>&1; then
    tail -n 40 "$work/log"
    echo "!!! report-fuzzer failed; its log and input are in $work"
    exit 1
fi
grep -E 'DONE|stat::(number_of_executed_units|average_exec_per_sec)' "$work/log"
rm -rf "$work"
