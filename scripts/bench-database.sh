#!/usr/bin/env bash
# Measures Korvex on whole databases, each measurement against its floor in the same rounds, and
# prints a summary with the targets. From a clean clone:
#
#     bash scripts/bench-database.sh
#
# It sets the machine up (scripts/setup.sh), builds the default preset (RelWithDebInfo) and then:
#   1. daily update: builds (untimed) a directory of 2,000 securities of 5,000 records each, past
#      MASTER's 255 in XMASTER, from one bulk file with a symbol column; then times
#      `korvex-cli convert DAY.csv --update` of a daily file that holds the next day of all 2,000
#      against its floor, korvex-append-floor (28 bytes appended to every price file, one sync).
#      Before each round both directories are put back as they were (korvex-restore-dir, then
#      sync), untimed;
#   2. batch: a folder of 1,000 files of 2,500 lines converted into a new directory, against
#      `cp -r` of the folder followed by `sync`;
#   3. one file: 50,000 lines converted into a new directory, against `cp` of the file (the
#      measurement of scripts/bench.sh, here for completeness);
#   4. the peak memory of each conversion, with /usr/bin/time -v, that of the update's file given
#      a second time (every day held, so every security's stored records are read to compare),
#      and that of the bulk file's conversion that built the directory of the update;
#   5. the peak memory of a run of 10,000 securities: one day of each into a new directory, then
#      the next day of each with --update (memory that grows with the number of securities), and
#      then one security more from a file of its own (a directory's XMASTER read and rewritten).
# The measurements of each of the three take turns, one round to warm up and then the timed rounds,
# and the median counts. It reports and exits 0 whatever the figures; each target is marked PASS or MISS.
# It stops with a non-zero status only when something does not work (a build, a conversion that
# fails or writes the wrong records).
#
# Environment:
#   KORVEX_BENCH_QUICK    1: small inputs and 3 rounds, to try the script out (the figures are
#                         then not those of the targets)
#   KORVEX_BENCH_REPEATS  timed rounds per measurement, the median is reported (default 9)
#   KORVEX_BENCH_DIR      where the temporary directory goes (default $TMPDIR or /tmp); it needs
#                         about 2 GB (0.2 GB quick)
#   KORVEX_BENCH_MANY     the securities of the runs whose memory grows with their number
#                         (default 10000; at most 65534, which leaves room in the directory for
#                         the one security more that the last of those runs adds)
#   KORVEX_JOBS           parallel build jobs (default 2)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export LC_ALL=C # a decimal point in $EPOCHREALTIME and in the figures

jobs="${KORVEX_JOBS:-2}"
if [ "${KORVEX_BENCH_QUICK:-0}" = 1 ]; then
    quick=1
    securities=300 records=500 batch_files=100 batch_lines=500 one_lines=5000 many=1000
    repeats="${KORVEX_BENCH_REPEATS:-3}"
else
    quick=0
    securities=2000 records=5000 batch_files=1000 batch_lines=2500 one_lines=50000 many=10000
    repeats="${KORVEX_BENCH_REPEATS:-9}"
fi
many="${KORVEX_BENCH_MANY:-$many}"
if ! [[ "$many" =~ ^[1-9][0-9]*$ ]] || ((many > 65534)); then
    echo "bench-database: KORVEX_BENCH_MANY must be a number from 1 to 65534, not '$many'" >&2
    exit 2
fi

bash scripts/setup.sh
echo "==> configure and build the default preset"
cmake --preset default
cmake --build --preset default -j "$jobs"

root="$PWD"
cli="$root/build/bin/korvex-cli"
gen="$root/build/bin/korvex-gen"
floor="$root/build/bin/korvex-append-floor"
restore="$root/build/bin/korvex-restore-dir"
started=$EPOCHREALTIME

work="$(mktemp -d "${KORVEX_BENCH_DIR:-${TMPDIR:-/tmp}}/korvex-bench-db.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out" "$work/log"

fail() {
    echo "bench-database: $*" >&2
    exit 1
}

# ---------------------------------------------------------------------------------------------
# Timing

# rounds NAME...: runs `prepare NAME` (not timed) and `run NAME` (timed) for each NAME in turn, one
# round to warm up and then $repeats timed rounds, so that a busy moment of the machine falls on
# all of them alike. Sets median[NAME] and best[NAME] in microseconds; the output of the last run
# is in $work/log/NAME.out and .err. A run that fails stops the script.
declare -A median best
rounds() {
    local -A times=()
    local round name t0 t1 rc
    for ((round = 0; round <= repeats; round++)); do
        for name in "$@"; do
            prepare "$name"
            rc=0
            t0=$EPOCHREALTIME
            run "$name" >"$work/log/$name.out" 2>"$work/log/$name.err" || rc=$?
            t1=$EPOCHREALTIME
            if ((round > 0)); then
                times[$name]+=" $((${t1/./} - ${t0/./}))"
            fi
            if ((rc != 0)); then
                echo "bench-database: $name ended with status $rc:" >&2
                cat "$work/log/$name.out" "$work/log/$name.err" >&2
                exit 1
            fi
        done
    done
    local sorted
    for name in "$@"; do
        read -r -a sorted <<<"$(tr ' ' '\n' <<<"${times[$name]}" | sort -n | tr '\n' ' ')"
        median[$name]=${sorted[$((${#sorted[@]} / 2))]}
        best[$name]=${sorted[0]}
    done
}

# The options that read each input layout of korvex-gen.
bulk_options=(--skip 1 --date-format CCYYMMDD
    --columns "symbol=1,period=2,date=3,open=5,high=6,low=7,close=8,volume=9")
daily_options=(--skip 1 --date-format CCYYMMDD
    --columns "symbol=1,date=2,open=3,high=4,low=5,close=6,volume=7")

# Every measurement writes into a directory of its own: the update and its floor into copies of
# the pristine directory, put back before each round; the others into a fresh, empty directory.
# The prepared files are synced, so that no timed sync pays for the writing of a preparation.
prepare() {
    case $1 in
    update | floor_update) "$restore" "$work/pristine" "$work/out/$1" ;;
    *) rm -rf "$work/out/$1" && mkdir -p "$work/out/$1" ;;
    esac
    sync
}
# korvex_command NAME: sets `cmd` to the korvex-cli command line of the measurement NAME
korvex_command() {
    local dir="$work/out/$1"
    case $1 in
    update) cmd=("$cli" convert "$work/in/day.csv" --dir "$dir" --update "${daily_options[@]}") ;;
    batch) cmd=("$cli" convert "$work/in/batch" --dir "$dir" --new-master --xmaster
        --date-format CCYYMMDD) ;;
    one) cmd=("$cli" convert "$work/in/one.txt" --dir "$dir" --new-master --symbol BENCH
        --date-format CCYYMMDD) ;;
    *) echo "bench-database: no measurement $1" >&2 && return 99 ;;
    esac
}
run() {
    local cmd dir="$work/out/$1"
    case $1 in
    floor_update) "$floor" "$dir" ;;
    floor_batch) cp -r "$work/in/batch" "$dir/" && sync ;;
    floor_one) cp "$work/in/one.txt" "$dir/" ;;
    *) korvex_command "$1" && "${cmd[@]}" ;;
    esac
}

# records_of DIR SYMBOL: the number of price records `list` gives the security SYMBOL of DIR
records_of() {
    "$cli" list "$1" --csv | awk -F, -v s="$2" '$3 == s { print $8 }'
}
# expect_directory DIR SECURITIES RECORDS: DIR checks sound and lists SECURITIES securities, the
# first and the last of which hold RECORDS records
expect_directory() {
    local dir=$1 count=$2 want=$3 listed first last
    "$cli" check "$dir" >"$work/log/check.out" 2>&1 || {
        cat "$work/log/check.out" >&2
        fail "$dir is not sound"
    }
    listed=$("$cli" list "$dir" --csv | tail -n +2 | wc -l)
    first=$(records_of "$dir" S0001)
    last=$(records_of "$dir" "$(printf 'S%04d' "$count")")
    if [ "$listed" -ne "$count" ] || [ "$first" != "$want" ] || [ "$last" != "$want" ]; then
        fail "$dir lists $listed securities ($count wanted), the first with ${first:-no} and" \
            "the last with ${last:-no} records ($want wanted)"
    fi
}

# ---------------------------------------------------------------------------------------------
# 1. Inputs and the directory of the daily update

echo "==> writing the inputs into $work"
"$gen" --symbols "$securities" --days "$records" --start 2000-01-03 --layout bulk \
    >"$work/in/bulk.csv"
"$gen" --symbols "$securities" --days 1 --skip-days "$records" --start 2000-01-03 \
    --layout daily --date-format CCYYMMDD >"$work/in/day.csv"
"$gen" --symbols "$batch_files" --days "$batch_lines" --start 2000-01-03 --layout folder \
    --out "$work/in/batch" --date-format CCYYMMDD
# The file of scripts/bench.sh: every day of the calendar from 1961-01-02, as 50,000 business days
# would run past 2099, the last year a date can hold.
"$gen" --days "$one_lines" --seed 1 --start 1961-01-02 --date-format CCYYMMDD --delimiter comma \
    --every-day >"$work/in/one.txt"

echo "==> building the directory of $securities securities of $records records (not timed)"
mkdir "$work/pristine"
built_at=$EPOCHREALTIME
/usr/bin/time -v -o "$work/build-time.txt" "$cli" convert "$work/in/bulk.csv" \
    --dir "$work/pristine" --new-master --xmaster "${bulk_options[@]}" \
    >"$work/log/build.out" 2>&1 || {
    cat "$work/log/build.out" >&2
    fail "the directory of the daily update could not be built"
}
build_seconds=$(awk -v a="$built_at" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
build_rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/build-time.txt")
rm "$work/in/bulk.csv"
expect_directory "$work/pristine" "$securities" "$records"
echo "    built in $build_seconds s: $(du -sh "$work/pristine" | cut -f 1)," \
    "$(find "$work/pristine" -type f | wc -l) files"
cp -a "$work/pristine" "$work/out/update"
cp -a "$work/pristine" "$work/out/floor_update"

# One update untimed, to know it adds the day to every security, and that the directory comes
# back byte for byte.
run update >"$work/log/update.out" 2>&1 || {
    cat "$work/log/update.out" >&2
    fail "the daily update failed"
}
expect_directory "$work/out/update" "$securities" $((records + 1))
prepare update
diff -r "$work/pristine" "$work/out/update" >/dev/null ||
    fail "korvex-restore-dir did not put the directory back as it was"

# ---------------------------------------------------------------------------------------------
# 2. The rounds

echo "==> daily update of $securities securities, and its floor; $repeats timed rounds"
rounds update floor_update
expect_directory "$work/out/update" "$securities" $((records + 1))
grep -qF "appended 28 bytes to $securities price files" "$work/log/floor_update.out" ||
    fail "the floor did not append to $securities files: $(cat "$work/log/floor_update.out")"

echo "==> batch of $batch_files files of $batch_lines lines, and cp -r + sync; $repeats timed rounds"
rounds batch floor_batch
expect_directory "$work/out/batch" "$batch_files" "$batch_lines"

echo "==> one file of $one_lines lines, and cp; $repeats timed rounds"
rounds one floor_one
[ "$(records_of "$work/out/one" BENCH)" = "$one_lines" ] ||
    fail "the file of $one_lines lines did not become $one_lines records"

# ---------------------------------------------------------------------------------------------
# 3. Peak memory

echo "==> peak memory"
peak_kb() { # peak_kb NAME: prepares NAME and runs it once; the maximum resident set size in kB
    local cmd
    prepare "$1"
    korvex_command "$1"
    /usr/bin/time -v -o "$work/time.txt" "${cmd[@]}" >/dev/null 2>&1 ||
        fail "$1 failed under /usr/bin/time: $(cat "$work/time.txt")"
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt"
}
declare -A rss
for name in update batch one; do
    rss[$name]=$(peak_kb "$name")
done
# The update's day given again, as a file of the last few days gives it: every day is held, so
# each security's stored records are read to compare with the file's.
prepare update
korvex_command update
"${cmd[@]}" >/dev/null 2>&1 || fail "the daily update failed"
/usr/bin/time -v -o "$work/time.txt" "${cmd[@]}" >"$work/log/again.out" 2>&1 ||
    fail "the update given again failed: $(cat "$work/log/again.out" "$work/time.txt")"
grep -qF "$securities days already held" "$work/log/again.out" ||
    fail "the update given again did not find its days held: $(cat "$work/log/again.out")"
rss[again]=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")

# Many securities in one run: what every security of a run costs, added and then updated.
"$gen" --symbols "$many" --days 1 --start 2000-01-03 --layout daily --date-format CCYYMMDD \
    >"$work/in/many-1.csv"
"$gen" --symbols "$many" --days 1 --skip-days 1 --start 2000-01-03 --layout daily \
    --date-format CCYYMMDD >"$work/in/many-2.csv"
printf 'Date,Close\n20000105,1\n' >"$work/in/many-one.csv"
mkdir "$work/out/many"
for step in add update one; do
    if [ "$step" = add ]; then
        many_cmd=("$cli" convert "$work/in/many-1.csv" --dir "$work/out/many" --new-master
            --xmaster "${daily_options[@]}")
        want="$many added"
    elif [ "$step" = update ]; then
        many_cmd=("$cli" convert "$work/in/many-2.csv" --dir "$work/out/many" --update
            "${daily_options[@]}")
        want="$many updated"
    else
        # One more security, from a file of its own, beside the $many.
        many_cmd=("$cli" convert "$work/in/many-one.csv" --dir "$work/out/many" --symbol NEWONE
            --skip 1 --date-format CCYYMMDD --columns "date=1,close=2")
        want="Converted 1 price record of NEWONE"
    fi
    /usr/bin/time -v -o "$work/time.txt" "${many_cmd[@]}" >"$work/log/many.out" 2>&1 ||
        fail "the run of $many securities ($step) failed: $(cat "$work/log/many.out")"
    grep -qF "$want" "$work/log/many.out" ||
        fail "the run of $many securities did not say \"$want\": $(cat "$work/log/many.out")"
    rss[many_$step]=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
done
rm -r "$work/out/many"
measured=$EPOCHREALTIME

# ---------------------------------------------------------------------------------------------
# Summary

fs_type() { findmnt -n -o FSTYPE --target "$1" 2>/dev/null | tail -n 1 || stat -f -c %T "$1"; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f ms", us / 1000 }'; }
row() { # row LABEL NAME
    printf '  %-58s %11s %11s\n' "$1" "$(ms "${median[$2]}")" "$(ms "${best[$2]}")"
}
# target LABEL CONDITION: one line of the targets, PASS when the awk CONDITION holds
target() {
    printf '  %-66s %s\n' "$1" "$(awk "BEGIN { print (($2) ? \"PASS\" : \"MISS\") }")"
}
ratio() { awk -v a="${median[$1]}" -v b="${median[$2]}" 'BEGIN { printf "%.2f", a / b }'; }

compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/CMakeCache.txt)
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' build/CMakeCache.txt)
echo
echo "== Machine"
echo "  CPU:        $(nproc) x $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "  memory:     $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "  work dir:   $work on $(fs_type "$work") ($(df -P "$work" | awk 'NR == 2 { print $1 }'))"
echo "  compiler:   $("${compiler:-c++}" --version | head -n 1)"
echo "  build type: $build_type (preset default)"
echo "  commit:     $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "  load:       $(cut -d ' ' -f 1-3 /proc/loadavg) (1, 5, 15 minutes, at the end)"
if ((quick)); then
    echo "  QUICK MODE: small inputs; the figures are not those the targets are set for"
fi

echo
echo "== Times: $repeats timed rounds, the median and the best"
printf '  %-58s %11s %11s\n' "" median best
row "update: $securities securities, one day each (--update)" update
row "floor:  28 bytes appended to each price file, one sync" floor_update
row "batch:  $batch_files files of $batch_lines lines into a new directory" batch
row "floor:  cp -r of the folder, then sync" floor_batch
row "one:    $one_lines lines into a new directory" one
row "floor:  cp of the file" floor_one
echo
echo "== Peak resident set size"
printf '  %-58s %8s kB\n' "update" "${rss[update]}" "batch" "${rss[batch]}" "one" "${rss[one]}" \
    "update given again (every day held)" "${rss[again]}"
printf '  %-58s %8s kB\n' "the bulk file that builds the directory of the update" "$build_rss"
printf '  %-58s %8s kB\n' "$many securities added in one run" "${rss[many_add]}" \
    "$many securities updated in one run" "${rss[many_update]}" \
    "one security more, from a file of its own, beside the $many" "${rss[many_one]}"
echo "  (building the directory of the update took $build_seconds s, not timed in the rounds)"

echo
echo "== Targets"
r=$(ratio update floor_update)
target "update at most 3x its floor: ${r}x" "$r <= 3"
target "update under 1 s: $(ms "${median[update]}")" "${median[update]} < 1000000"
r=$(ratio batch floor_batch)
target "batch at most 3x cp -r + sync: ${r}x" "$r <= 3"
r=$(ratio one floor_one)
target "one file at most 2x cp: ${r}x" "$r <= 2"
for name in update batch one; do
    target "peak memory of $name under 32 MB (32768 kB): ${rss[$name]} kB" "${rss[$name]} < 32768"
done
target "peak memory of the update given again under 32 MB: ${rss[again]} kB" "${rss[again]} < 32768"
for step in add update one; do
    target "peak memory of $many securities, $step, under 32 MB: ${rss[many_$step]} kB" \
        "${rss[many_$step]} < 32768"
done

echo
awk -v a="$started" -v b="$measured" 'BEGIN { printf "bench-database: %.0f s\n", b - a }'
