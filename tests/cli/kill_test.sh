#!/usr/bin/env bash
# Kills korvex-cli with SIGKILL at random moments while it converts a large file into a directory
# that already holds a security, then checks the directory: MASTER is always there and readable, no
# security is listed without its files, and nothing else is wrong but temporaries left behind and the
# counts of the security that was being added.
set -euo pipefail
cli="$1"
gen="$2"
kills="${3:-25}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$gen" --date-format CCYYMMDD --days 300 --seed 1 > "$work/first.csv"
"$gen" --date-format CCYYMMDD --days 30000 --start 1961-01-02 --seed 2 > "$work/large.csv"
RANDOM=20261207
survived=0
interrupted=0
for k in $(seq 1 "$kills"); do
    rm -rf "$work/db" && mkdir "$work/db"
    "$cli" convert "$work/first.csv" --date-format CCYYMMDD --dir "$work/db" --new-master --symbol FIRST >/dev/null
    "$cli" convert "$work/large.csv" --date-format CCYYMMDD --dir "$work/db" --symbol LARGE >/dev/null 2>&1 &
    pid=$!
    sleep "$(printf "0.%03d" $((RANDOM % 30)))"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    status=0
    "$cli" check "$work/db" > "$work/check" 2>&1 || status=$?
    if [ "$status" -eq 2 ]; then
        echo "kill $k: the directory cannot be read"; cat "$work/check"; exit 1
    fi
    forbidden="$(grep -v -e 'a temporary left behind' -e ' found in ' -e ': sound; ' \
        -e ', not a date' -e 'before the record before it' -e 'more price records with such dates' \
        "$work/check" | grep -v -e '/F2\.' -e '(LARGE)' || true)"
    missing="$(grep -e 'missing' "$work/check" || true)"
    if [ -n "$forbidden" ] || [ -n "$missing" ]; then
        echo "kill $k left a damaged directory:"; cat "$work/check"; exit 1
    fi
    survived=$((survived + 1))
    if ! "$cli" list "$work/db" --csv | grep -q ',LARGE,.*,30000$'; then
        interrupted=$((interrupted + 1))
    fi
done
echo "$survived kills survived, $interrupted of them before the conversion had finished"
