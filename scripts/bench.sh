#!/usr/bin/env bash
# Measures how fast Korvex converts and how much memory it takes, and prints a summary with the
# targets. From a clean clone:
#
#     bash scripts/bench.sh
#
# It sets the machine up (scripts/setup.sh), builds the default preset (RelWithDebInfo) and then:
#   1. writes price files of 1,000, 10,000 and 50,000 lines with korvex-gen (all seven fields,
#      CCYYMMDD dates) into a temporary directory;
#   2. times `korvex-cli convert` of each into a fresh directory (a new MASTER) and `cp` of the same
#      file the same way, and the start-up of korvex-cli alone (`korvex-cli --version`); the same
#      conversions and copies once more with the output on a tmpfs (/dev/shm), where syncing costs
#      next to nothing; and, for reference, `cp` of the largest followed by a sync of the copy and
#      its directory, as durable as a conversion leaves its files. All of them take turns in 15
#      rounds, and the median counts;
#   3. builds a directory whose MASTER lists 238 securities and 16 sub-directories, each with a
#      MASTER of its own that lists one security (254 securities in all), and times the duplicate
#      check and the registration of one more security;
#   4. measures the peak memory of the largest conversion with /usr/bin/time -v;
#   5. runs the micro benchmarks (korvex-microbench) briefly.
# It reports and exits 0 whatever the figures; each target is marked PASS or MISS. It stops with a
# non-zero status only when something does not work (a build, a conversion that fails).
#
# Environment:
#   KORVEX_BENCH_REPEATS  timed runs per measurement, the median is reported (default 15)
#   KORVEX_BENCH_DIR      where the temporary directory goes (default $TMPDIR or /tmp)
#   KORVEX_JOBS           parallel build jobs (default 2)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export LC_ALL=C  # a decimal point in $EPOCHREALTIME and in the figures

repeats="${KORVEX_BENCH_REPEATS:-15}"
jobs="${KORVEX_JOBS:-2}"

bash scripts/setup.sh
echo "==> configure and build the default preset"
cmake --preset default
cmake --build --preset default -j "$jobs"

root="$PWD"
cli="$root/build/bin/korvex-cli"
gen="$root/build/bin/korvex-gen"
micro="$root/build/bin/korvex-microbench"
started=$EPOCHREALTIME

work="$(mktemp -d "${KORVEX_BENCH_DIR:-${TMPDIR:-/tmp}}/korvex-bench.XXXXXX")"
shm=""
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(stat -f -c %T /dev/shm)" = tmpfs ]; then
    shm="$(mktemp -d /dev/shm/korvex-bench.XXXXXX)"
fi
cleanup() { rm -rf "$work" ${shm:+"$shm"}; }
trap cleanup EXIT

# ---------------------------------------------------------------------------------------------
# Timing

# rounds NAME...: runs `prepare NAME` (not timed) and `run NAME` (timed) for each NAME in turn, one
# round to warm up and then $repeats timed rounds, so that a busy moment of the machine falls on
# all of them alike. Sets median[NAME] and best[NAME] in microseconds and
# status[NAME] to the exit status of the last run; its output is in $work/log/NAME.out and .err.
declare -A median best status
rounds() {
    local -A times=()
    local round name t0 t1 rc
    mkdir -p "$work/log"
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
            status[$name]=$rc
        done
    done
    local sorted
    for name in "$@"; do
        read -r -a sorted <<<"$(printf '%s\n' ${times[$name]} | sort -n | tr '\n' ' ')"
        median[$name]=${sorted[$((${#sorted[@]} / 2))]}
        best[$name]=${sorted[0]}
    done
}

# expect NAME STATUS [TEXT]: stops the script unless the last run of NAME ended with STATUS and
# (when given) printed TEXT.
expect() {
    local name=$1 want=$2 text=${3:-}
    if [ "${status[$name]}" != "$want" ] ||
        { [ -n "$text" ] && ! cat "$work/log/$name".{out,err} | grep -qF "$text"; }; then
        echo "bench: $name ended with status ${status[$name]}, not $want${text:+ with '$text'}:" >&2
        cat "$work/log/$name.out" "$work/log/$name.err" >&2
        exit 1
    fi
}

ms() { awk -v us="$1" 'BEGIN { printf "%.2f ms", us / 1000 }'; }

# The measurements. A name ending in _N works on the input file of N lines; shm_ names write to the
# tmpfs. Every conversion and copy goes into a fresh, empty directory of its own.
output_of() {  # sets `dir` to the output directory of measurement $1 (no subshell: it is timed)
    if [[ $1 == shm_* ]]; then dir="$shm/out/$1"; else dir="$work/out/$1"; fi
}
prepare() {
    local dir
    case $1 in
    startup* | cp_startup | dup_*) ;;
    register) rm -rf "$work/reg" && cp -a "$tree" "$work/reg" ;;
    *) output_of "$1" && rm -rf "$dir" && mkdir -p "$dir" ;;
    esac
}
run() {
    local dir n=${1##*_}
    output_of "$1"
    case $1 in
    startup*) "$cli" --version ;;
    cp_startup) cp --version ;;
    convert_* | shm_convert_*) convert_new "$work/in/$n.txt" "$dir" ;;
    cp_* | shm_cp_*) cp "$work/in/$n.txt" "$dir/" ;;
    # For reference: the copy made durable as a conversion makes its files, the file and then
    # its directory synced (coreutils' sync FILE... fsyncs each), and nothing else of the disk.
    cpsync_*) cp "$work/in/$n.txt" "$dir/" && sync "$dir/$n.txt" "$dir" ;;
    register_empty) convert_new "$work/in/1.txt" "$dir" ;;
    # A duplicate of the security in the last sub-directory: the run walks every MASTER and stops.
    dup_last) convert_into "$tree" D16 ;;
    # A duplicate of the first security of the top MASTER: the same run with the shortest walk.
    dup_first) convert_into "$tree" S001 ;;
    # One more security: the duplicate check finds nothing, the security is registered and its one
    # line converted, each time into a fresh copy of the directory.
    register) convert_into "$work/reg" NEW ;;
    *) echo "bench: no measurement $1" >&2 && return 99 ;;
    esac
}
convert_new() {  # convert_new INPUT DIR: a new MASTER in DIR
    "$cli" convert "$1" --dir "$2" --new-master --symbol BENCH --date-format CCYYMMDD
}
convert_into() {  # convert_into DIR SYMBOL: the one-line file into the existing MASTER of DIR
    "$cli" convert "$work/in/1.txt" --dir "$1" --symbol "$2" --date-format CCYYMMDD
}

# ---------------------------------------------------------------------------------------------
# 1. Input files

echo "==> writing the input files into $work"
mkdir -p "$work/in"
one_file() {  # one_file DAYS SEED [--every-day]: a korvex-gen file from 1961-01-02 to standard output
    "$gen" --days "$1" --seed "$2" --start 1961-01-02 --date-format CCYYMMDD --delimiter comma \
        ${3:+"$3"}
}
one_file 1 1 >"$work/in/1.txt"
one_file 1000 1 >"$work/in/1000.txt"
one_file 10000 1 >"$work/in/10000.txt"
# The largest file has 50,000 lines, one for every day of the calendar from 1961-01-02 to
# 2097-11-23: business days alone stop at 36,264 by 2099-12-31, the last day a date can be stored
# in. (A security holds up to 65,534 records, but no file of valid, ascending dates has that many.)
largest=50000
one_file "$largest" 1 --every-day >"$work/in/$largest.txt"
sizes=(1000 10000 "$largest")
for n in "${sizes[@]}"; do
    lines=$(wc -l <"$work/in/$n.txt")
    if [ "$lines" -ne "$n" ]; then
        echo "bench: $work/in/$n.txt has $lines lines, not $n" >&2
        exit 1
    fi
done

# ---------------------------------------------------------------------------------------------
# 2. End to end: convert and cp into a fresh directory

names=(startup cp_startup)
for n in "${sizes[@]}"; do
    names+=("convert_$n" "cp_$n")
    if [ -n "$shm" ]; then names+=("shm_convert_$n" "shm_cp_$n"); fi
done
names+=("cpsync_$largest")
echo "==> end to end: ${names[*]}; $repeats timed rounds"
rounds "${names[@]}"
expect startup 0
for n in "${sizes[@]}"; do
    for kind in convert cp ${shm:+shm_convert shm_cp}; do
        expect "${kind}_$n" 0 "$([[ $kind == *convert ]] && echo "Converted $n price records")"
    done
    output_of "convert_$n"
    dat_size=$(stat -c %s "$dir/F1.DAT")
    if [ "$dat_size" -ne $((28 * (n + 1))) ]; then
        echo "bench: F1.DAT of $n lines is $dat_size bytes, not $((28 * (n + 1)))" >&2
        exit 1
    fi
done

# ---------------------------------------------------------------------------------------------
# 3. A directory with sub-directories: the duplicate check and one more registration

echo "==> building a directory of 238 securities and 16 sub-directories of one security each"
tree="$work/tree"
mkdir "$tree"
add_security() {  # add_security DIR SYMBOL [--new-master]
    "$cli" convert "$work/in/1.txt" --dir "$1" --symbol "$2" --date-format CCYYMMDD ${3:+"$3"} \
        >/dev/null
}
add_security "$tree" S001 --new-master
for ((i = 2; i <= 238; i++)); do
    add_security "$tree" "$(printf 'S%03d' "$i")"
done
# A sub-directory entry of MASTER: 53 bytes, the name padded with spaces in bytes 7 to 14 and
# "<DIR>" in bytes 18 to 22, every other byte zero. Korvex never writes one; other programs do.
for ((i = 1; i <= 16; i++)); do
    sub=$(printf 'SUB%02d' "$i")
    mkdir "$tree/$sub"
    add_security "$tree/$sub" "$(printf 'D%02d' "$i")" --new-master
    {
        head -c 7 /dev/zero
        printf '%-8s' "$sub"
        head -c 3 /dev/zero
        printf '<DIR>'
        head -c 30 /dev/zero
    } >>"$tree/MASTER"
done
# The header's record count (bytes 0 and 1, little-endian) now counts the entries: 254, so that the
# directory takes one more security, its last.
printf '\376\000' | dd of="$tree/MASTER" bs=1 seek=0 count=2 conv=notrunc status=none
if [ "$(stat -c %s "$tree/MASTER")" -ne $((53 * 255)) ]; then
    echo "bench: $tree/MASTER is not 255 records long" >&2
    exit 1
fi
tree_check=$("$cli" check "$tree" 2>&1) || {
    echo "bench: the directory with sub-directories is not sound:" >&2
    echo "$tree_check" >&2
    exit 1
}
echo "    $tree_check"
"$cli" list "$tree" | tail -n 1 | sed 's/^/    list: /'

echo "==> duplicate check and registration: dup_last dup_first register register_empty startup2;"
echo "    $repeats timed rounds"
rounds dup_last dup_first register register_empty startup2
expect dup_last 1 "Duplicate Symbol"
expect dup_first 1 "Duplicate Symbol"
expect register 0 "Converted 1 price record"
expect register_empty 0 "Converted 1 price record"
# ---------------------------------------------------------------------------------------------
# 4. Peak memory

echo "==> peak memory"
peak_kb() {  # peak_kb COMMAND...: the maximum resident set size in kB
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
    awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt"
}
prepare "convert_$largest"
output_of "convert_$largest"
rss_convert=$(peak_kb "$cli" convert "$work/in/$largest.txt" --dir "$dir" --new-master \
    --symbol BENCH --date-format CCYYMMDD)
rss_version=$(peak_kb "$cli" --version)
rss_cp=$(peak_kb cp "$work/in/$largest.txt" "$work/copy.txt")
echo "    convert $largest lines $rss_convert kB, korvex-cli --version $rss_version kB, cp $rss_cp kB"

measured=$EPOCHREALTIME

# ---------------------------------------------------------------------------------------------
# 5. Micro benchmarks

if [ -x "$micro" ]; then
    echo "==> micro benchmarks (korvex-microbench)"
    "$micro" --benchmark_min_time=0.05
else
    echo "==> micro benchmarks skipped: without Google Benchmark korvex-microbench is not built"
fi
finished=$EPOCHREALTIME

# ---------------------------------------------------------------------------------------------
# Summary

fs_type() { findmnt -n -o FSTYPE --target "$1" 2>/dev/null | tail -n 1 || stat -f -c %T "$1"; }
row() {  # row LABEL NAME
    printf '  %-56s %10s %10s\n' "$1" "$(ms "${median[$2]}")" "$(ms "${best[$2]}")"
}
# above NAME [START]: the median of NAME less the median start-up of the same rounds, in µs
above() { echo $((${median[$1]} - ${median[${2:-startup}]})); }
pass() { awk "BEGIN { print (($1) ? \"PASS\" : \"MISS\") }"; }

compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/CMakeCache.txt)
echo
echo "== Machine"
echo "  CPU:        $(nproc) x $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "  memory:     $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "  work dir:   $work on $(fs_type "$work") ($(df -P "$work" | awk 'NR == 2 { print $1 }'))"
echo "  compiler:   $("${compiler:-c++}" --version | head -n 1)"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' build/CMakeCache.txt)
echo "  build type: $build_type (preset default)"
echo "  load:       $(cut -d ' ' -f 1-3 /proc/loadavg) (1, 5, 15 minutes, at the end)"

echo
echo "== Times: $repeats timed rounds, each a fresh output directory"
printf '  %-56s %10s %10s\n' "" median best
row "korvex-cli --version (start-up)" startup
row "cp --version (start-up of cp)" cp_startup
for n in "${sizes[@]}"; do
    row "convert $n lines into a new directory" "convert_$n"
    row "cp      $n lines" "cp_$n"
done
row "cp      $largest lines, then sync of the copy" "cpsync_$largest"
if [ -n "$shm" ]; then
    for n in "${sizes[@]}"; do
        row "convert $n lines into a new directory, tmpfs" "shm_convert_$n"
        row "cp      $n lines, tmpfs" "shm_cp_$n"
    done
fi
row "korvex-cli --version (start-up, second set of rounds)" startup2
row "duplicate in the last of 16 sub-directories (refused)" dup_last
row "duplicate in the first record of MASTER (refused)" dup_first
row "register a 255th security, 1 line, 16 sub-directories" register
row "register a first security, 1 line, new directory" register_empty
printf '  %-56s %10s\n' "peak RSS: convert $largest lines" "$rss_convert kB"
printf '  %-56s %10s\n' "peak RSS: korvex-cli --version" "$rss_version kB"
printf '  %-56s %10s\n' "peak RSS: cp $largest lines" "$rss_cp kB"

echo
echo "== Derived (medians less the median start-up of the same rounds)"
shm_above=0
if [ -n "$shm" ]; then shm_above=$(above "shm_convert_$largest"); fi
awk -v d="$(above "convert_$largest")" -v t="$shm_above" -v shm="${shm:+1}" -v n="$largest" \
    -v fs="$(fs_type "$work")" 'BEGIN {
    printf "  convert %d lines: %.2f ms, %.0f ns a line (%s)\n", n, d / 1000, d * 1000 / n, fs
    if (shm) {
        printf "  convert %d lines: %.2f ms, %.0f ns a line (tmpfs)\n",
            n, t / 1000, t * 1000 / n
    } }'
awk -v a="$(above dup_last startup2)" -v b="$(above dup_first startup2)" 'BEGIN {
    printf "  refused duplicate: %.2f ms (last sub-directory), %.2f ms (first record);\n",
        a / 1000, b / 1000
    printf "    walking all 17 MASTER files instead of stopping at the first record: %.2f ms\n",
        (a - b) / 1000 }'
awk -v r="$(above register startup2)" -v e="$(above register_empty startup2)" 'BEGIN {
    printf "  registration and 1-line conversion: %.2f ms (255th security, 16 sub-directories),\n",
        r / 1000
    printf "    %.2f ms (first security, new directory)\n", e / 1000 }'

echo
echo "== Targets"
ratio=$(awk -v c="${median[convert_$largest]}" -v p="${median[cp_$largest]}" \
    'BEGIN { printf "%.2f", c / p }')
printf '  %-66s %s\n' "one file of $largest lines: at most 2x cp: ${ratio}x" "$(pass "$ratio <= 2")"
synced=$(awk -v c="${median[convert_$largest]}" -v p="${median[cpsync_$largest]}" \
    'BEGIN { printf "%.2f", c / p }')
echo "    (for reference, not a target: ${synced}x cp followed by a sync of the copy)"
growth() {  # growth PREFIX FROM TO: time above start-up against lines, at most 1.1 times as fast
    awk -v a="$(above "$1$2")" -v b="$(above "$1$3")" -v f="$2" -v t="$3" -v where="$4" 'BEGIN {
        lines = t / f; time = b / a; allowed = 1.1 * lines
        printf "  %-66s %s\n",
            sprintf("%d -> %d lines (%.2fx)%s: %.2fx the time, at most %.2fx", f, t, lines, where,
                    time, allowed), (time <= allowed ? "PASS" : "MISS") }'
}
growth convert_ 1000 10000 ""
growth convert_ 10000 "$largest" ""
if [ -n "$shm" ]; then
    growth shm_convert_ 1000 10000 " tmpfs"
    growth shm_convert_ 10000 "$largest" " tmpfs"
fi
printf '  %-66s %s\n' "peak RSS under 16 MB (16384 kB): $rss_convert kB" \
    "$(pass "$rss_convert < 16384")"

echo
awk -v a="$started" -v b="$measured" -v c="$finished" 'BEGIN {
    printf "bench: measurements %.1f s, micro benchmarks %.1f s\n", b - a, c - b }'
