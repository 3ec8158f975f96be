#!/usr/bin/env bash
# Reading a directory never harms it and never fails silently: export refuses to write over a file
# of the tree it reads, output that cannot be written is an error, and list, check and export read
# a huge price file in bounded memory.
#   reading_test.sh KORVEX_CLI KORVEX_GEN UNBOUNDED
# UNBOUNDED is 1 where no limit on the address space can be set: the sanitizers, and Wine, reserve
# more of it than any limit would allow.
set -euo pipefail
cli="$1"
gen="$2"
unbounded="${3:-0}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$gen" --date-format MM_DD_CCYY > "$work/a.csv"
d="$work/d"
mkdir "$d"
"$cli" convert "$work/a.csv" --dir "$d" --new-master --symbol A --date-format MM_DD_CCYY >/dev/null
"$cli" convert "$work/a.csv" --dir "$d" --symbol B --date-format MM_DD_CCYY >/dev/null
snapshot() { (cd "$d" && sha256sum * | sort); }
before="$(snapshot)"

# export -o onto a file that Korvex reads or keeps in the tree: refused, nothing written.
for target in "$d/F1.DAT" "$d/MASTER" "$d/f2.dop" "$d/MASTER.BAK" "$d/emaster.bak" \
    "$d/XMASTER" "$d/F300.MWD" "$d/KORVEX.JNL" "$d/KORVEX.CMT" "$d/KORVEX.LCK" \
    "$d/F3.DAT.korvex-tmp2"; do
    status=0
    "$cli" export "$d" A -o "$target" 2>"$work/err" || status=$?
    [ "$status" -eq 1 ] || fail "export -o $target gave $status"
    grep -q "is a file of the directory" "$work/err" || fail "export -o $target: $(cat "$work/err")"
    [ "$(snapshot)" = "$before" ] || fail "export -o $target changed the directory"
done
ln -s "$d/F1.DAT" "$work/link.csv"
"$cli" export "$d" A -o "$work/link.csv" 2>/dev/null && fail "export through a link into the tree"
[ "$(snapshot)" = "$before" ] || fail "export through a link changed the directory"

# A CSV beside the data is fine, and written whole.
"$cli" export "$d" A -o "$d/a-export.csv" || fail "export -o into the directory"
[ "$(wc -l < "$d/a-export.csv")" -eq 301 ] || fail "the export is not whole"
rm "$d/a-export.csv"

# Output that cannot be written.
if [ -w /dev/full ]; then
    for command in "list $d" "list $d --json" "check $d" "export $d A" "--help" "convert --help"; do
        status=0
        # shellcheck disable=SC2086
        "$cli" $command > /dev/full 2>"$work/err" || status=$?
        [ "$status" -eq 1 ] || fail "$command > /dev/full gave $status"
        grep -q "could not be written" "$work/err" || fail "$command > /dev/full: $(cat "$work/err")"
    done
    "$cli" export "$d" A -o /dev/full 2>/dev/null && fail "export -o /dev/full succeeded"
    [ -c /dev/full ] || fail "export -o /dev/full replaced the device"
    # A run that made its change says that its summary is lost, but never that it failed.
    for command in "convert $work/a.csv --dir $d --symbol C --date-format MM_DD_CCYY" \
        "remove $d C"; do
        status=0
        # shellcheck disable=SC2086
        "$cli" $command > /dev/full 2>"$work/err" || status=$?
        [ "$status" -eq 3 ] || fail "$command > /dev/full gave $status: $(cat "$work/err")"
        grep -q "the change is made, but its summary could not be written" "$work/err" ||
            fail "$command > /dev/full: $(cat "$work/err")"
    done
    [ "$(snapshot | grep -v MASTER)" = "$(echo "$before" | grep -v MASTER)" ] ||
        fail "C was not converted and removed"
fi

# A price file of a gigabyte (sparse): read in bounded memory, reported as too large.
truncate -s 1G "$d/F1.DAT"
run_bounded() {
    if [ "$unbounded" = 1 ]; then
        "$@"
    else
        (ulimit -v 262144 && "$@")
    fi
}
status=0
run_bounded "$cli" check "$d" > "$work/check" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "check of a huge file gave $status: $(cat "$work/check")"
grep -q "more than a price file" "$work/check" || fail "check: $(cat "$work/check")"
run_bounded "$cli" list "$d" > /dev/null || fail "list of a huge file"
status=0
run_bounded "$cli" export "$d" A > /dev/null 2>&1 || status=$?
[ "$status" -le 1 ] || fail "export of a huge file gave $status"
echo "reading never harms: passed"
