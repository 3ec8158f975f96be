#!/usr/bin/env bash
# A directory listing that fails midway (readdir giving EIO, through FAILING_READDIR_LIBRARY loaded
# with LD_PRELOAD) is an error, never the end of the listing: a replace that cannot see the whole
# directory, and a removal, change nothing, and check says it cannot read the directory.
#   listing_error_test.sh KORVEX_CLI FAILING_READDIR_LIBRARY
set -euo pipefail
cli="$1"
library="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

printf '20240102,1,2,0.5,1.5,100\n20240103,1,2,0.5,1.5,100\n' > "$work/a.csv"
d="$work/d"
mkdir "$d"
for symbol in ABC DEF A; do
    "$cli" convert "$work/a.csv" --dir "$d" --symbol "$symbol" --date-format CCYYMMDD \
        --columns date=1,open=2,high=3,low=4,close=5,volume=6 \
        $([ "$symbol" = ABC ] && echo --new-master) >/dev/null
done
snapshot() { (cd "$d" && sha256sum * | sort); }
before="$(snapshot)"

failing() {  # every listing gives 3 entries, then EIO
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" LD_PRELOAD="$library" \
        KORVEX_READDIR_FAILS_AFTER=3 "$@"
}
for command in "convert $work/a.csv --dir $d --symbol A --replace --date-format CCYYMMDD" \
    "convert $work/a.csv --dir $d --symbol NEW --date-format CCYYMMDD" "remove $d DEF"; do
    status=0
    # shellcheck disable=SC2086
    failing "$cli" $command >/dev/null 2>"$work/err" || status=$?
    [ "$status" -eq 1 ] || fail "$command gave $status: $(cat "$work/err")"
    grep -q "Cannot list .*: Input/output error" "$work/err" || fail "$command: $(cat "$work/err")"
    grep -q "Nothing in $d was changed" "$work/err" || fail "$command: $(cat "$work/err")"
    [ "$(snapshot)" = "$before" ] || fail "$command changed the directory"
done
status=0
failing "$cli" check "$d" >"$work/out" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "check called a directory it could not list sound: $(cat "$work/out")"
grep -q "Input/output error" "$work/out" || fail "check: $(cat "$work/out")"
echo "a failing listing is an error: passed"
