#!/usr/bin/env bash
# Sets up the machine, builds Korvex, converts the bundled example into out/example and shows what
# was written there.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset default
cmake --build --preset default

# A new MASTER is made in out/example, and korvex-cli refuses to make one where one exists.
rm -rf out/example
mkdir -p out/example

echo
echo "\$ korvex-cli convert examples/korvex-sample.csv --dir out/example --new-master" \
    "--symbol KVX --name \"Korvex Sample\" --skip 1 --date-format MM_DD_CCYY"
build/bin/korvex-cli convert examples/korvex-sample.csv --dir out/example --new-master \
    --symbol KVX --name "Korvex Sample" --skip 1 --date-format MM_DD_CCYY

echo
echo "\$ ls -l out/example"
ls -l out/example

echo
# od -N rather than a pipe into head: under pipefail, head closing the pipe early would fail the run.
echo "\$ od -A d -t x1 out/example/MASTER    # the header and the one security record"
od -A d -t x1 out/example/MASTER

echo
echo "\$ od -A d -t x1 -N 140 out/example/F1.DAT    # the header and the first four days"
od -A d -t x1 -N 140 out/example/F1.DAT

echo
echo "\$ cat out/example/F1.DOP"
cat out/example/F1.DOP

echo
echo "\$ korvex-cli list out/example"
build/bin/korvex-cli list out/example

echo
echo "\$ korvex-cli check out/example"
build/bin/korvex-cli check out/example
