#!/usr/bin/env bash
# The Windows build does what the Linux build does. Both korvex-cli programs run the same commands
# on the same inputs, each in a directory of its own under a non-ASCII name: the bundled example, a
# file of numbers that strtof implementations are known to read differently, a file with a decimal
# comma, a refused duplicate, a bad command line, list, check, export, a replace and a remove. Each
# step must give the same exit status and the same output (paths aside), and every file written
# must be byte for byte the same. The Windows korvex-gen writes the example again, byte for byte, from
# the command in examples/README.md.
#   cross_build_test.sh LINUX_CLI WINDOWS_CLI EXAMPLE WINDOWS_GEN
# Exit status 77 (skipped) when there is no Linux build to compare with.
set -euo pipefail
if [ ! -x "$1" ]; then
    echo "no Linux korvex-cli at $1: build the default preset first"
    exit 77
fi
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
linux="$(absolute "$1")"
windows="$(absolute "$2")"
example="$3"
gen="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

dir="Données"
for side in linux windows; do
    mkdir -p "$work/$side/$dir"
    cp "$example" "$work/$side/prix-été.csv"
    # Numbers as strtof reads them: hexadecimal, infinities, NaN, the smallest and largest floats,
    # more digits than a float holds, text after the number, quotes and blanks.
    printf '%s\n' \
        '20250102,0x1p3,1e-39,1e-46,3.4028235e38,12.5abc,00000000000000000000000000000001' \
        '20250103,inf,-Infinity,nan,1e39,"12.50",1.17549435e-38' \
        '20250106,0.1,0.2,0.3,0.30000000000000004,123456789.123456789,7' \
        '20250107,.5,5.,-0,1e-45,340282356779733661637539395458142568448,  42  ' \
        > "$work/$side/odd.csv"
    printf '%s\r\n' 'Date;Open;High;Low;Close;Volume' '02.01.2025;1,5;2,25;1,125;2;1000' \
        '03.01.2025;2;3,75;1,875;3,5;2000' '06.01.2025;3,5;4;3;3,25;1500' > "$work/$side/eu.csv"
done

# Output with the path of the side's directory as ROOT and '\' as '/'; a Windows path such as
# Z:\tmp\x\windows\F1.DAT reads ROOT/F1.DAT, as the Linux one does.
normalize() {
    local root="$1" text
    text="$(cat)"
    text="${text//\\//}"
    text="${text//"$root"/ROOT}"
    printf '%s' "$text" | sed -E 's#[A-Za-z]:ROOT#ROOT#g'
}

# step LABEL ARGS...: runs korvex-cli ARGS in each side's directory and compares what they did.
step() {
    local label="$1"
    shift
    local side cli status
    for side in linux windows; do
        cli="$linux"
        [ "$side" = windows ] && cli="$windows"
        status=0
        (cd "$work/$side" && "$cli" "$@") >"$work/$side.out" 2>"$work/$side.err" || status=$?
        echo "$status" >"$work/$side.status"
        normalize "$work/$side" <"$work/$side.out" >"$work/$side.out.n"
        normalize "$work/$side" <"$work/$side.err" >"$work/$side.err.n"
    done
    for what in status out.n err.n; do
        if ! cmp -s "$work/linux.$what" "$work/windows.$what"; then
            echo "$label: the ${what%.n} differs (linux, then windows):"
            diff "$work/linux.$what" "$work/windows.$what" || true
            exit 1
        fi
    done
    echo "$label: status $(cat "$work/linux.status"), same output"
}

# same_files DIR: every file of DIR is the same, byte for byte, on both sides.
same_files() {
    local names
    names="$(cd "$work/linux/$1" && ls)"
    [ "$names" = "$(cd "$work/windows/$1" && ls)" ] ||
        fail "$1 holds other files: $names / $(cd "$work/windows/$1" && ls)"
    for name in $names; do
        cmp "$work/linux/$1/$name" "$work/windows/$1/$name" || fail "$1/$name differs"
    done
    echo "$1: the same $(echo "$names" | wc -l) files"
}

"$gen" --days 300 --start 2025-01-02 --seed 1 --delimiter comma --date-format MM_DD_CCYY \
    --heading > "$work/example.csv"
cmp "$work/example.csv" "$example" || fail "korvex-gen does not write the example as it is"

step "--version" --version
step "convert the example" convert "prix-été.csv" --dir "$dir" --new-master --emaster \
    --symbol KVX --name "Korvex Sample" --skip 1 --date-format MM_DD_CCYY
[ -s "$work/windows/$dir/MASTER" ] || fail "the Windows build wrote no $dir/MASTER"
step "numbers read as strtof reads them" convert odd.csv --dir "$dir" --symbol ODD \
    --date-format CCYYMMDD --accept-problems
eu_settings=(--delimiter semicolon --decimal-comma --skip 1 --date-format DD_MM_CCYY
    --columns "date=1,open=2,high=3,low=4,close=5,volume=6")
step "a decimal comma" convert eu.csv --dir "$dir" --symbol EU "${eu_settings[@]}"
same_files "$dir"
step "a duplicate symbol" convert "prix-été.csv" --dir "$dir" --symbol KVX --skip 1 \
    --date-format MM_DD_CCYY
step "problems" convert odd.csv --dir "$dir" --symbol ODD2 --date-format CCYYMMDD
step "a bad command line" convert "prix-été.csv" --dir "$dir" --delimiter pipe --symbol X
step "detect" detect "prix-été.csv"
step "detect --json" detect eu.csv --json
step "list" list "$dir"
step "list --csv" list "$dir" --csv
step "list --json" list "$dir" --json
step "check" check "$dir" --verbose
step "export" export "$dir" kvx
step "export --date-format" export "$dir" odd --date-format MM_DD_CCYY
step "export -o" export "$dir" EU -o eu-export.csv
cmp "$work/linux/eu-export.csv" "$work/windows/eu-export.csv" || fail "export -o differs"
(cd "$work/windows" && "$windows" export "$dir" EU) >"$work/eu-stdout.csv"
cmp "$work/eu-stdout.csv" "$work/windows/eu-export.csv" ||
    fail "the Windows export to standard output differs from its export -o"
step "replace" convert eu.csv --dir "$dir" --symbol ODD --replace "${eu_settings[@]}"
step "remove" remove "$dir" kvx
same_files "$dir"
echo "the Windows build agrees with the Linux build"
