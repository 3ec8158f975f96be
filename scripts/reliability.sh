#!/usr/bin/env bash
# Measures what docs/reliability.md reports, with more rounds than the tests take in CI:
#   bash scripts/reliability.sh [FUZZ_SECONDS] [CONCURRENT_RUNS] [KILLS] [WINDOWS_RUNS]
#                                                           # defaults 300 24 200 1000
# Builds the default preset (after scripts/setup.sh), then stops, fails and cuts the power at every
# file-system call of whole runs in turn, runs the concurrency test, the kill test, WINDOWS_RUNS
# runs of the Windows program under Wine one after another, and every fuzz target, and prints the
# figures. FUZZ_SECONDS 0 leaves the fuzz targets out, WINDOWS_RUNS 0 the Windows program. Exits
# non-zero when any of them fails.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

fuzz_seconds="${1:-300}"
if ! [[ "$fuzz_seconds" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [FUZZ_SECONDS] [CONCURRENT_RUNS] [KILLS] [WINDOWS_RUNS]" >&2
    exit 2
fi
runs="${2:-24}"
kills="${3:-200}"
repeats="${4:-1000}"
jobs="${KORVEX_JOBS:-2}"

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
figures=()

echo "==> every file-system call of a run stopped, failed and cut in turn"
xml="$work/recovery.xml"
build/tests/cli_tests --gtest_filter='RecoveryTest.A*' --gtest_output="xml:$xml" >/dev/null
# One line per test: the calls of its runs, and what was done at each.
while read -r line; do
    figures+=("$line")
done < <(python3 - "$xml" <<'EOF'
import sys
import xml.etree.ElementTree as tree

for case in tree.parse(sys.argv[1]).iter("testcase"):
    def value(name):
        found = case.find(f"properties/property[@name='{name}']")
        return found.attrib["value"] if found is not None else case.attrib.get(name)
    calls, faults = value("calls"), value("faults")
    if calls is None:
        continue
    total = sum(int(n) for n in calls.split(" / ")) * len(faults.split(", "))
    print(f"{case.attrib['name']}: {calls} calls in a whole run, each {faults} in turn; "
          f"{total} runs, each followed by the next conversion: all exact, all sound")
EOF
)

echo "==> $runs concurrent runs"
figures+=("concurrency: $(bash tests/cli/concurrency_test.sh build/bin/korvex-cli build/bin/korvex-gen \
    "$runs" | tail -n 1)")

echo "==> $kills kills"
figures+=("kill -9: $(bash tests/cli/kill_test.sh build/bin/korvex-cli build/bin/korvex-gen "$kills" \
    | tail -n 1)")

if [ "$repeats" -gt 0 ]; then
    echo "==> $repeats runs one after another under Wine"
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j "$jobs" --target korvex-cli
    figures+=("Windows: $(bash tests/cli/stress_test.sh build-windows/tests/run-korvex-cli \
        "$repeats" | tail -n 1)")
fi

if [ "$fuzz_seconds" -gt 0 ]; then
    echo "==> fuzz, $fuzz_seconds s a target"
    bash scripts/fuzz.sh "$fuzz_seconds" | tee "$work/fuzz.log"
    while read -r line; do
        figures+=("$line")
    done < <(sed -n '/^==> fuzz summary/,$p' "$work/fuzz.log" | tail -n +2)
fi

echo "==> figures"
printf '%s\n' "${figures[@]}"
