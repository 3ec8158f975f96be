#!/usr/bin/env bash
# The Windows release archive: it holds one folder with korvex.exe, korvex-cli.exe, the help pages
# in help/, README.txt and the licence (when the sources have one), the texts with CR LF line ends;
# the programs import only DLLs that come with Windows, and korvex-cli.exe, unpacked into an empty
# directory, runs alone: --version and a conversion.
#   zip_test.sh ZIP CMAKE OBJDUMP VERSION EXAMPLE EMULATOR...
set -euo pipefail
zip="$1"
cmake="$2"
objdump="$3"
version="$4"
example="$5"
shift 5
emulator=("$@")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

[ -f "$zip" ] || fail "there is no $zip"
folder="korvex-$version-windows-x64"
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
expected="$folder/README.txt"$'\n'"$folder/korvex-cli.exe"$'\n'"$folder/korvex.exe"
for page in "$source_dir"/res/help/*.html; do
    expected+=$'\n'"$folder/help/$(basename "$page")"
done
for name in LICENSE LICENSE.txt LICENSE.md COPYING; do
    if [ -f "$source_dir/$name" ]; then
        expected="$folder/LICENSE.txt"$'\n'"$expected"
        break
    fi
done
listed="$("$cmake" -E tar tf "$zip" | grep -v '/$' | sort)"
[ "$listed" = "$(echo "$expected" | sort)" ] || fail "the archive holds:"$'\n'"$listed"

cd "$work"
"$cmake" -E tar xf "$zip"
for text in "$folder"/*.txt; do
    lines="$(wc -l < "$text")"
    if [ "$lines" -eq 0 ] || [ "$(grep -c $'\r$' "$text")" -ne "$lines" ]; then
        fail "$text does not end every line in CR LF"
    fi
done
cmp -s <(tr -d '\r' < "$folder/README.txt") "$source_dir/README.md" ||
    fail "README.txt is not README.md"

# Only the system's own DLLs: no libstdc++, libgcc or winpthread beside the programs.
for program in korvex.exe korvex-cli.exe; do
    imports="$("$objdump" -p "$folder/$program" | sed -n 's/^\s*DLL Name: //p')"
    [ -n "$imports" ] || fail "no imports read from $program"
    while read -r dll; do
        case "${dll,,}" in
            kernel32.dll | msvcrt.dll | ucrtbase.dll | advapi32.dll | shell32.dll | user32.dll | \
                gdi32.dll | comctl32.dll | ole32.dll | api-ms-win-*.dll) ;;
            *) fail "$program needs $dll, which Windows does not have" ;;
        esac
    done <<< "$imports"
done

exe="$work/$folder/korvex-cli.exe"
[ "$("${emulator[@]}" "$exe" --version)" = "korvex-cli $version" ] || fail "--version"
mkdir "$work/out"
cp "$example" "$work/prices.csv"
"${emulator[@]}" "$exe" convert prices.csv --dir out --new-master --symbol KVX --skip 1 \
    --date-format MM_DD_CCYY > "$work/summary"
grep -q '^Converted 300 price records of KVX into .*F1\.DAT (2025-01-02 to 2026-02-25)\.$' \
    "$work/summary" || fail "summary: $(cat "$work/summary")"
[ "$(stat -c %s "$work/out/MASTER")" -eq 106 ] || fail "MASTER"
[ "$(stat -c %s "$work/out/F1.DAT")" -eq $((301 * 28)) ] || fail "F1.DAT"
echo "the archive holds $(echo "$listed" | wc -l) files; its korvex-cli.exe runs alone"
