#!/usr/bin/env bash
# Runs the real korvex-cli binary on the bundled example into a fresh directory.
set -euo pipefail
cli="$1"
example="$2"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

"$cli" --version | grep -q '^korvex-cli '
summary="$("$cli" convert "$example" --dir "$out" --new-master --symbol KVX --name "Korvex Sample" \
    --skip 1 --date-format MM_DD_CCYY 2>"$out.err")"
[ ! -s "$out.err" ] || { cat "$out.err"; rm -f "$out.err"; exit 1; }
rm -f "$out.err"
echo "$summary"
echo "$summary" | grep -q '^Converted 300 price records of KVX into '
[ "$(stat -c %s "$out/MASTER")" -eq 106 ]
[ "$(stat -c %s "$out/F1.DAT")" -eq $((301 * 28)) ]
[ "$(stat -c %s "$out/F1.DOP")" -eq 81 ]
# Read whole before grep looks: grep -q leaves at its match, and a listing whose last line then
# meets a closed pipe fails, as it should.
listed="$("$cli" list "$out")"
grep -q '^\.  *F1  *KVX  *Korvex Sample  *DOHLCVI  *2025-01-02  *2026-02-25  *300  *D$' <<<"$listed"
checked="$("$cli" check "$out")"
grep -qx "$out: sound; 1 security checked" <<<"$checked"
[ "$("$cli" export "$out" kvx --date-format MM_DD_CCYY | sed -n 2p)" = \
    "01/02/2025,100.56,102.95,99.74,102.01,937306,48763" ]
[ "$("$cli" export "$out" kvx | wc -l)" -eq 301 ]

set +e
"$cli" convert "$example" --dir "$out" --symbol KVX --skip 1 --date-format MM_DD_CCYY 2>"$out.err"
status=$?
set -e
grep -qx 'korvex: Duplicate Symbol' "$out.err"
rm -f "$out.err"
[ "$status" -eq 1 ]
