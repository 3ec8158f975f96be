#!/usr/bin/env bash
# Kills korvex-cli with SIGKILL at random moments while it converts a large file into a directory
# that already holds a security. Right after the kill the directory must be as it was, or complete,
# or hold the journal of a run stopped before or after its commit. Then the next conversion must
# leave it exactly as that conversion leaves the directory as it was, or the directory complete:
# byte for byte, every file, nothing left over; and `check` must call it sound.
set -euo pipefail
cli="$1"
gen="$2"
kills="${3:-25}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$gen" --date-format CCYYMMDD --days 300 --seed 1 > "$work/first.csv"
"$gen" --date-format CCYYMMDD --days 30000 --start 1961-01-02 --seed 2 > "$work/large.csv"
"$gen" --date-format CCYYMMDD --days 5 --seed 3 > "$work/next.csv"

# Every file of the directory with its checksum.
snapshot() {
    (cd "$1" && find . -maxdepth 1 -type f -printf '%f\n' | sort |
        while read -r name; do sha256sum "$name"; done)
}
convert() {  # FILE DIR SYMBOL [OPTIONS]
    local file="$1" dir="$2" symbol="$3"
    shift 3
    "$cli" convert "$work/$file" --date-format CCYYMMDD --dir "$dir" --symbol "$symbol" "$@"
}
first() {
    rm -rf "$1" && mkdir "$1"
    convert first.csv "$1" FIRST --new-master >/dev/null
}

# What the next run must leave: after the directory as it was, or after the large conversion.
first "$work/ref"
before="$(snapshot "$work/ref")"
convert next.csv "$work/ref" NEXT >/dev/null
before_next="$(snapshot "$work/ref")"
first "$work/ref"
convert large.csv "$work/ref" LARGE >/dev/null
complete="$(snapshot "$work/ref")"
convert next.csv "$work/ref" NEXT >/dev/null
complete_next="$(snapshot "$work/ref")"

RANDOM=20261207
as_before=0
pending=0
committed=0
as_complete=0
for k in $(seq 1 "$kills"); do
    first "$work/db"
    "$cli" convert "$work/large.csv" --date-format CCYYMMDD --dir "$work/db" --symbol LARGE \
        >/dev/null 2>&1 &
    pid=$!
    sleep "$(printf "0.%03d" $((RANDOM % 40)))"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    now="$(snapshot "$work/db")"
    if [ "$now" = "$before" ]; then
        as_before=$((as_before + 1))
    elif [ "$now" = "$complete" ]; then
        as_complete=$((as_complete + 1))
    elif [ -e "$work/db/KORVEX.JNL" ]; then
        pending=$((pending + 1))
    elif [ -e "$work/db/KORVEX.CMT" ]; then
        committed=$((committed + 1))
    else
        echo "kill $k left a directory that is neither as before, complete, nor journaled:"
        diff <(echo "$complete") <(echo "$now") || true
        ls -l "$work/db"
        exit 1
    fi
    # The next run finishes or undoes the killed one, then converts.
    convert next.csv "$work/db" NEXT >/dev/null 2>"$work/next.err" || {
        echo "kill $k: the next run failed:"; cat "$work/next.err"; exit 1
    }
    after="$(snapshot "$work/db")"
    if [ "$after" != "$before_next" ] && [ "$after" != "$complete_next" ]; then
        echo "kill $k: after the next run the directory is neither as it should be:"
        ls -l "$work/db"
        diff <(echo "$complete_next") <(echo "$after") || true
        exit 1
    fi
    "$cli" check "$work/db" >"$work/check" || { echo "kill $k:"; cat "$work/check"; exit 1; }
done
echo "$kills kills: $as_before as before, $pending stopped before the commit," \
    "$committed stopped after it, $as_complete complete; each next run exact"
