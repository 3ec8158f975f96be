#!/usr/bin/env bash
# Measures what docs/reliability.md reports, with more rounds than the tests take in CI:
#   bash scripts/reliability.sh [FUZZ_SECONDS] [CONCURRENT_RUNS] [KILLS]     # defaults 300 24 200
# Builds the default preset (after scripts/setup.sh), then runs the fault and power-cut loops over
# whole conversions, the concurrency test, the kill test and every fuzz target, and prints the
# figures. FUZZ_SECONDS 0 leaves the fuzz targets out. Exits non-zero when any of them fails.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

fuzz_seconds="${1:-300}"
if ! [[ "$fuzz_seconds" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [FUZZ_SECONDS] [CONCURRENT_RUNS] [KILLS]" >&2
    exit 2
fi
runs="${2:-24}"
kills="${3:-200}"
jobs="${KORVEX_JOBS:-2}"

bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
figures=()

echo "==> fault and power-cut loops"
for suite in engine_tests:'FaultTest.EveryFailing*' cli_tests:'NewAndExistingMaster/*'; do
    binary="${suite%%:*}"
    xml="$work/$binary.xml"
    build/tests/"$binary" --gtest_filter="${suite#*:}" --gtest_output="xml:$xml" >/dev/null
    # One line per test: its name and the operations it failed or cut, one at a time.
    while read -r line; do
        figures+=("$line")
    done < <(python3 - "$xml" <<'EOF'
import sys
import xml.etree.ElementTree as tree

for case in tree.parse(sys.argv[1]).iter("testcase"):
    operations = case.find("properties/property[@name='operations']")
    if operations is None:
        operations = case.attrib.get("operations")
    else:
        operations = operations.attrib["value"]
    name = case.attrib["classname"] + "." + case.attrib["name"]
    master = {"false": ", new MASTER", "true": ", existing MASTER"}.get(case.attrib.get("value_param"), "")
    print(f"{name}{master}: {operations} operations in a whole run; {operations} runs, "
          f"each interrupted at one of them in turn, all passed")
EOF
    )
done

echo "==> $runs concurrent runs"
figures+=("concurrency: $(bash tests/cli/concurrency_test.sh build/bin/korvex-cli build/bin/korvex-gen \
    "$runs" | tail -n 1)")

echo "==> $kills kills"
figures+=("kill -9: $(bash tests/cli/kill_test.sh build/bin/korvex-cli build/bin/korvex-gen "$kills" \
    | tail -n 1)")

if [ "$fuzz_seconds" -gt 0 ]; then
    echo "==> fuzz, $fuzz_seconds s a target"
    bash scripts/fuzz.sh "$fuzz_seconds" | tee "$work/fuzz.log"
    while read -r line; do
        figures+=("$line")
    done < <(sed -n '/^==> fuzz summary/,$p' "$work/fuzz.log" | tail -n +2)
fi

echo "==> figures"
printf '%s\n' "${figures[@]}"
