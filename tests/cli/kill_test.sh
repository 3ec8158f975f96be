#!/usr/bin/env bash
# Kills korvex-cli with SIGKILL at random moments while it converts a large file into a directory
# that already holds a security, then looks at the directory. Only three outcomes pass: every file
# byte for byte as before; that, and besides the unlisted F2.DAT and F2.DOP of a run killed between
# moving them into place and its commit; or complete: `check` finds it sound and it lists LARGE with
# all 30,000 records. Temporaries of the killed run are allowed: the next run removes them, which
# is checked too.
set -euo pipefail
cli="$1"
gen="$2"
kills="${3:-25}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$gen" --date-format CCYYMMDD --days 300 --seed 1 > "$work/first.csv"
"$gen" --date-format CCYYMMDD --days 30000 --start 1961-01-02 --seed 2 > "$work/large.csv"
"$gen" --date-format CCYYMMDD --days 5 --seed 3 > "$work/next.csv"

# The files of the directory with their checksums, temporaries and the named ones left out.
snapshot() {
    local dir="$1"
    shift
    (cd "$dir" && find . -maxdepth 1 -type f ! -name '*.korvex-tmp' "$@" -printf '%f\n' | sort |
        while read -r name; do sha256sum "$name"; done)
}

RANDOM=20261207
as_before=0
trace=0
complete=0
for k in $(seq 1 "$kills"); do
    rm -rf "$work/db" && mkdir "$work/db"
    "$cli" convert "$work/first.csv" --date-format CCYYMMDD --dir "$work/db" --new-master \
        --symbol FIRST >/dev/null
    before="$(snapshot "$work/db")"
    "$cli" convert "$work/large.csv" --date-format CCYYMMDD --dir "$work/db" --symbol LARGE \
        >/dev/null 2>&1 &
    pid=$!
    sleep "$(printf "0.%03d" $((RANDOM % 40)))"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if [ "$(snapshot "$work/db")" = "$before" ]; then
        as_before=$((as_before + 1))
    elif [ "$(snapshot "$work/db" ! -name F2.DAT ! -name F2.DOP)" = "$before" ]; then
        trace=$((trace + 1))
    elif { "$cli" check "$work/db" > "$work/check" 2>&1 ||
        ! grep -v -e 'korvex-tmp: a temporary left behind' -e ' found in ' "$work/check" |
            grep -q .; } && "$cli" list "$work/db" --csv | grep -q ',LARGE,.*,30000$'; then
        complete=$((complete + 1))
    else
        echo "kill $k left a directory that is neither as before nor complete:"
        ls -l "$work/db"
        cat "$work/check" 2>/dev/null || true
        exit 1
    fi
    # The next run cleans up after the killed one and converts.
    "$cli" convert "$work/next.csv" --date-format CCYYMMDD --dir "$work/db" --symbol NEXT >/dev/null
    if ls "$work/db" | grep -q 'korvex-tmp$'; then
        echo "kill $k: the next run left the killed run's temporaries"; ls -l "$work/db"; exit 1
    fi
done
echo "$kills kills: $as_before as before, $trace with only unlisted files, $complete complete"
