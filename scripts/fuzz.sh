#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer in build-fuzz/ and runs each for SECONDS
# (default 60) from a fresh copy of its seed corpus:
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]      # targets: fuzz_parser fuzz_directory fuzz_settings fuzz_reading
# An input that crashes, hangs (10 s), leaks or takes more than 2 GB is written to
# fuzz/regressions/<target>/, where the replay tests of the normal build pick it up. Prints the
# executions and findings of each target; exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [SECONDS] [TARGET...]" >&2
    exit 2
fi
shift $(($# > 0 ? 1 : 0))
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    targets=(fuzz_parser fuzz_directory fuzz_settings fuzz_reading)
fi
jobs="${KORVEX_JOBS:-2}"
build=build-fuzz

echo "==> fuzz: configure $build (clang, KORVEX_FUZZ=ON)"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVEX_FUZZ=ON >/dev/null
echo "==> fuzz: build ${targets[*]}"
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

# The targets write and sync many small files for every input; in memory (tmpfs) a sync costs
# nothing, so the executions measure the code rather than the disk.
temp_root=/tmp
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    temp_root=/dev/shm
fi

summary=()
failed=0
for target in "${targets[@]}"; do
    work="$build/corpus/$target"
    artifacts="fuzz/regressions/$target"
    log="$build/$target.log"
    rm -rf "$work"
    mkdir -p "$work" "$artifacts"
    cp fuzz/corpus/"$target"/* "$work"/
    before=$(ls -A "$artifacts")

    echo "==> fuzz: $target for $seconds s (log: $log)"
    # A temporary directory of its own, removed afterwards even when the target died in the middle
    # of an input. The paths are absolute: the targets change the current directory.
    scratch=$(mktemp -d "$temp_root/korvex-fuzz-run-XXXXXX")
    status=0
    TMPDIR="$scratch" "$PWD/$build/bin/$target" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix="$PWD/$artifacts/" -print_final_stats=1 \
        "$PWD/$work" >"$log" 2>&1 || status=$?
    rm -rf "$scratch"

    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    units=$(find "$work" -type f | wc -l)
    bytes=$(du -sb "$work" | cut -f1)
    found=()
    for name in $(ls -A "$artifacts"); do
        if ! grep -qxF "$name" <<<"$before"; then
            found+=("$artifacts/$name")
        fi
    done
    if [ "$status" -ne 0 ] || [ "${#found[@]}" -ne 0 ]; then
        failed=1
        result="FOUND (exit $status): ${found[*]:-see $log}"
        echo "---- the end of $log:"
        tail -n 60 "$log"
        echo "----"
    else
        result="nothing found"
    fi
    rmdir "$artifacts" fuzz/regressions 2>/dev/null || true  # only when empty
    line="$target: ${executions:-?} executions in $seconds s (${rate:-?}/s), corpus $units inputs"
    line+=" ($bytes bytes), $result"
    echo "$line"
    summary+=("$line")
done

echo "==> fuzz summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
