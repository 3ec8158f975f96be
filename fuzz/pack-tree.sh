#!/usr/bin/env bash
# Packs a MetaStock-format directory tree into one input of fuzz_directory, on standard output:
#   bash fuzz/pack-tree.sh DIR > fuzz/corpus/fuzz_directory/NAME
# Only the paths that the target knows are packed (the list below follows kEntries of
# DirectoryTarget.cpp, letter by letter); a directory or a link at one of them packs as its letter.
set -euo pipefail
[ $# -eq 1 ] && [ -d "$1" ] || { echo "usage: $0 DIR" >&2; exit 2; }
cd "$1"

paths=(MASTER F1.DAT F1.DOP F2.DAT F2.DOP SUB/MASTER SUB/F1.DAT SUB/F1.DOP SUB/INNER/MASTER
       SUB/INNER/F1.DAT SUB/INNER/F1.DOP OTHER/MASTER OTHER/F2.DAT OTHER/F2.DOP master F255.DAT
       MASTER.~NU F1.NEW F3.DAT LOOP UP SUB/BACK F3.DOP SUB/F2.DAT SUB/F2.DOP OTHER/TWIN)
letters=ABCDEFGHIJKLMNOPQRSTUVWXYZ

first=1
for i in "${!paths[@]}"; do
    path=${paths[$i]}
    [ -e "$path" ] || [ -L "$path" ] || continue
    [ $first -eq 1 ] || printf '\n~~~\n'
    first=0
    printf '%s' "${letters:$i:1}"
    if [ -f "$path" ] && [ ! -L "$path" ]; then
        cat "$path"
    fi
done
