#!/usr/bin/env bash
# Whole databases through the real program: a bulk file of 300 tickers, a folder of 300 files,
# and a week of daily files for 2,000 securities added day after day with --update. After every
# run the directory checks sound, list gives each security's dates and record count as the input
# has them, and export gives back the input's figures (of a sample of securities spread over
# MASTER and XMASTER: an export is a process of its own). An update of a day already stored changes
# no byte; one whose figures differ from the stored ones fails and leaves the directory as it was.
#   database_test.sh KORVEX_CLI KORVEX_GEN
set -euo pipefail
cli="$1"
gen="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

history=20   # days of each history; the week adds 5
start=2000-01-03

# The options that read each layout korvex-gen writes.
bulk_columns="symbol=1,period=2,date=3,open=5,high=6,low=7,close=8,volume=9"
bulk=(--skip 1 --date-format CCYYMMDD --columns "$bulk_columns,oi=10")
folder=(--date-format CCYYMMDD)
daily=(--skip 1 --date-format CCYYMMDD
    --columns "symbol=1,date=2,open=3,high=4,low=5,close=6,volume=7")
exchange=(--skip 1 --date-format DD_MON_CCYY
    --columns "symbol=1,open=3,high=4,low=5,close=6,volume=9,date=11")

# The records of an input as SYMBOL,CCYYMMDD,OPEN,HIGH,LOW,CLOSE,VOLUME[,OI], prices with two
# decimals, sorted; export writes its records the same way (see exported).
#   records LAYOUT FILE...  (folder: the symbol is the file's stem)
records() {
    local layout=$1
    shift
    awk -F, -v layout="$layout" '
        function line(symbol, date, o, h, l, c, v, i) {
            printf "%s,%s,%.2f,%.2f,%.2f,%.2f,%d%s\n", symbol, date, o, h, l, c, v, \
                (i == "" ? "" : "," sprintf("%d", i))
        }
        layout == "folder" { n = split(FILENAME, p, "/"); sub(/\.csv$/, "", p[n])
                             line(p[n], $1, $2, $3, $4, $5, $6, $7); next }
        FNR == 1 { next }
        layout == "bulk" { line($1, $3, $5, $6, $7, $8, $9, $10) }
        layout == "daily" { line($1, $2, $3, $4, $5, $6, $7) }
        layout == "exchange" { split($11, d, "-")
                               m = (index("JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC", d[2]) + 2) / 3
                               line($1, sprintf("%s%02d%s", d[3], m, d[1]), $3, $4, $5, $6, $9) }
    ' "$@" | sort
}
# The records export gives for the securities SYMBOL... of DIR, as `records` writes them.
exported() {
    local dir=$1 symbol
    shift
    for symbol in "$@"; do
        "$cli" export "$dir" "$symbol" --date-format CCYYMMDD | tail -n +2 | sed "s/^/$symbol,/"
    done | awk -F, -v OFS=, '{ for (i = 3; i <= 6; i++) $i = sprintf("%.2f", $i); print }' | sort
}
# SYMBOL,FIRST,LAST,RECORDS of each security, from list, and from records as list should give them.
listed() { "$cli" list "$1" --csv | tail -n +2 | awk -F, -v OFS=, '{ print $3, $6, $7, $8 }' | sort; }
summary() {
    awk -F, -v OFS=, '
        function iso(d) { return substr(d, 1, 4) "-" substr(d, 5, 2) "-" substr(d, 7, 2) }
        !($1 in first) { first[$1] = $2 } { last[$1] = $2; count[$1]++ }
        END { for (s in count) print s, iso(first[s]), iso(last[s]), count[s] }' | sort
}
# expect_database NAME DIR RECORDS SYMBOL...: DIR checks sound, lists exactly the securities,
# dates and counts of RECORDS (a file of `records` lines), and exports the records of the
# securities SYMBOL... as RECORDS has them.
expect_database() {
    local name=$1 dir=$2 want=$3
    shift 3
    "$cli" check "$dir" >"$work/check.out" 2>&1 || fail "$name: check: $(cat "$work/check.out")"
    diff <(summary <"$want") <(listed "$dir") >"$work/diff" || fail "$name: list: $(head "$work/diff")"
    diff <(grep -E "^($(IFS='|'; echo "$*"))," "$want") <(exported "$dir" "$@") >"$work/diff" ||
        fail "$name: export: $(head "$work/diff")"
}
sample() { # sample STEP COUNT: S0001, every STEP-th symbol after it, the last of MASTER, the
    # first of XMASTER and the last of all
    for ((i = 1; i <= $2; i += $1)); do printf 'S%04d\n' "$i"; done
    printf 'S%04d\n' 255 256 "$2"
}
convert() { # convert NAME ARGS...: a run that must succeed
    "$cli" convert "$@" >"$work/out" 2>&1 || fail "$1: $(cat "$work/out")"
}

# A bulk file of 300 tickers, grouped by symbol: past MASTER's 255 with --xmaster.
"$gen" --symbols 300 --days "$history" --start "$start" --layout bulk >"$work/bulk.csv"
records bulk "$work/bulk.csv" >"$work/bulk.want"
mkdir "$work/bulk"
convert "$work/bulk.csv" --dir "$work/bulk" --new-master --xmaster "${bulk[@]}"
mapfile -t some300 < <(sample 13 300 | sort -u)
expect_database "bulk file" "$work/bulk" "$work/bulk.want" "${some300[@]}"

# A folder of 300 files, one security each, named after its stem.
"$gen" --symbols 300 --days "$history" --start "$start" --layout folder --out "$work/in" \
    --date-format CCYYMMDD
records folder "$work"/in/*.csv >"$work/folder.want"
mkdir "$work/folder"
convert "$work/in" --dir "$work/folder" --new-master --xmaster "${folder[@]}"
expect_database "folder" "$work/folder" "$work/folder.want" "${some300[@]}"

# A week of daily files onto a history of 2,000 securities (without open interest, which daily
# files lack), in both daily layouts by turns. The history made 5 days longer is what it must
# become.
"$gen" --symbols 2000 --days "$history" --start "$start" --layout bulk >"$work/history.csv"
mkdir "$work/week"
convert "$work/history.csv" --dir "$work/week" --new-master --xmaster --skip 1 \
    --date-format CCYYMMDD --columns "$bulk_columns"
mapfile -t some2000 < <(sample 97 2000 | sort -u)
for day in 1 2 3 4 5; do
    layout=$([ $((day % 2)) -eq 1 ] && echo daily || echo exchange)
    "$gen" --symbols 2000 --days 1 --skip-days $((history + day - 1)) --start "$start" \
        --layout "$layout" --date-format CCYYMMDD >"$work/day$day.csv"
    options=("${daily[@]}")
    [ "$layout" = exchange ] && options=("${exchange[@]}")
    convert "$work/day$day.csv" --dir "$work/week" --update "${options[@]}"
    "$gen" --symbols 2000 --days $((history + day)) --start "$start" --layout bulk >"$work/longer.csv"
    records bulk "$work/longer.csv" | cut -d, -f 1-7 >"$work/week.want"
    expect_database "day $day ($layout)" "$work/week" "$work/week.want" "${some2000[@]}"
done

# The last day once more: nothing changes. The same day with one volume changed: refused, exit 1.
cp -a "$work/week" "$work/before"
convert "$work/day5.csv" --dir "$work/week" --update "${daily[@]}"
diff -r "$work/before" "$work/week" >"$work/diff" || fail "the same day again: $(cat "$work/diff")"
awk -F, -v OFS=, '$1 == "S1000" { $7 += 1 } 1' "$work/day5.csv" >"$work/changed.csv"
status=0
"$cli" convert "$work/changed.csv" --dir "$work/week" --update "${daily[@]}" >"$work/out" 2>&1 ||
    status=$?
[ "$status" -eq 1 ] || fail "a changed volume gave status $status: $(cat "$work/out")"
diff -r "$work/before" "$work/week" >"$work/diff" || fail "a refused update: $(cat "$work/diff")"
"$cli" check "$work/week" >/dev/null || fail "check after the refused update"
echo "bulk, folder and a week of daily updates held"
