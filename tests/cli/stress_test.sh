#!/usr/bin/env bash
# Runs RUNS conversions one after another into a directory that holds two securities, each a
# success that must exit 0: adding a security, replacing it, removing it, in turn. A run that
# fails when nothing stands in its way is a fault; its messages are shown. Meant for the Windows
# program under Wine, where a file just closed may still be held for a moment.
#   stress_test.sh KORVEX_CLI [RUNS]
set -euo pipefail
cli="$1"
runs="${2:-100}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

printf '20240102,1,2,0.5,1.5,100\n20240103,1,2,0.5,1.5,100\n20240104,1,2,0.5,1.5,100\n' \
    > "$work/a.csv"
d="$work/d"
mkdir "$d"
options=(--date-format CCYYMMDD --columns date=1,open=2,high=3,low=4,close=5,volume=6)
"$cli" convert "$work/a.csv" --dir "$d" --symbol ABC --new-master "${options[@]}" >/dev/null
"$cli" convert "$work/a.csv" --dir "$d" --symbol DEF "${options[@]}" >/dev/null

for i in $(seq 1 "$runs"); do
    case $((i % 3)) in
        1) command=(convert "$work/a.csv" --dir "$d" --symbol NEW "${options[@]}") ;;
        2) command=(convert "$work/a.csv" --dir "$d" --symbol NEW --replace "${options[@]}") ;;
        0) command=(remove "$d" NEW) ;;
    esac
    status=0
    "$cli" "${command[@]}" >"$work/out" 2>"$work/err" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "run $i (${command[0]}) gave $status:"
        cat "$work/out" "$work/err"
        ls -la "$d"
        exit 1
    fi
done
"$cli" check "$d" >/dev/null
echo "$runs runs one after another: every one succeeded"
