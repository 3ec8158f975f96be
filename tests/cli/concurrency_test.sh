#!/usr/bin/env bash
# Many korvex-cli processes convert different files into one directory at the same time. Each waits
# for the directory's lock in turn: afterwards every security is listed exactly once and the
# directory checks sound.
set -euo pipefail
cli="$1"
gen="$2"
runs="${3:-12}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir "$work/db"
"$gen" --date-format CCYYMMDD --days 300 --seed 1 > "$work/first.csv"
"$cli" convert "$work/first.csv" --date-format CCYYMMDD --dir "$work/db" --new-master --symbol FIRST >/dev/null
for i in $(seq 1 "$runs"); do
    "$gen" --date-format CCYYMMDD --days 2000 --start 1990-01-02 --seed "$i" > "$work/in$i.csv"
done

pids=()
for i in $(seq 1 "$runs"); do
    "$cli" convert "$work/in$i.csv" --date-format CCYYMMDD --dir "$work/db" --symbol "S$i" >"$work/out$i" 2>"$work/err$i" &
    pids+=($!)
done
failed=0
for i in "${!pids[@]}"; do
    if ! wait "${pids[$i]}"; then
        echo "run $((i + 1)) failed:"; cat "$work/err$((i + 1))"
        failed=1
    fi
done
[ "$failed" -eq 0 ]

listed="$("$cli" list "$work/db" --csv | tail -n +2 | cut -d, -f3 | sort)"
expected="$( (echo FIRST; for i in $(seq 1 "$runs"); do echo "S$i"; done) | sort)"
[ "$listed" = "$expected" ] || { echo "listed:"; echo "$listed"; exit 1; }
"$cli" check "$work/db"
ls "$work/db" | grep -qi lock && { echo "a lock file was left behind"; exit 1; }
echo "$runs concurrent runs held"
