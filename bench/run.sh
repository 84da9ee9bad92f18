#!/usr/bin/env bash
# Throughput benchmark: how close the tiler runs to the I/O limit, a plain cp
# of the same input files, for point records in any order, and how its time
# and memory grow with the survey.
#
# Usage: bench/run.sh [points]
#
#   points            points of the survey in each order (default 20000000, about 560 MB)
#
# Environment:
#   BENCH_DIR          work directory, outside the repository (default /tmp/tessaro-bench)
#   BENCH_FILES        flight-line files of the survey             (default 8)
#   BENCH_RUNS         paired runs per variant, at least 3         (default 5)
#   BENCH_LARGE_POINTS points of the large survey, 0 for none      (default 200000000, about 5.6 GB)
#   BENCH_STALE_FILES  files of the survey with stale headers      (default 200)
#   BENCH_BUILD_DIR    Release build directory                     (default <repo>/build-bench)
#   BENCH_JOBS         parallel build jobs                         (default 2)
#   BENCH_ONLY         las14: only the LAS 1.4 against LAS 1.2 variants, no large survey
#   BENCH_PRIORITY     none, nice or rt: how the timed commands run (default none)
#                      nice runs them with nice -n -20, rt with chrt -f 10; either
#                      falls back to the next when not permitted
#
# It builds what it needs (Release), generates the survey in three record
# orders with tessaro_gensurvey (kept for later runs with the same
# parameters): scanner order, each strip's records shuffled, and already
# tiled (one file per 250 m tile); and a survey of small files whose headers
# claim a 10 m box while their points spread over a 3 km square. It warms the
# page cache with one run of every variant, checks each tiled output once
# with tessaro_verify, then times every variant in rounds, each run paired
# with a cp of the same input files right before or after it. Before every run the
# output directory is emptied and the dirty pages are written back (sync),
# both outside the timing. Last, the large survey (scanner order) is
# generated, tiled and copied once each, and deleted. Exit status 0 when every
# run and every check succeeded (targets are reported, not enforced).
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
points="${1:-${BENCH_POINTS:-20000000}}"
files="${BENCH_FILES:-8}"
runs="${BENCH_RUNS:-5}"
large_points="${BENCH_LARGE_POINTS:-200000000}"
stale_files="${BENCH_STALE_FILES:-200}"
bench_dir="${BENCH_DIR:-/tmp/tessaro-bench}"
build_dir="${BENCH_BUILD_DIR:-$repo_root/build-bench}"
jobs="${BENCH_JOBS:-2}"
priority="${BENCH_PRIORITY:-none}"
only="${BENCH_ONLY:-}"
tile=250
buffer=10
stale_points=3000 # a file
stale_side=3000   # metres: a 30 x 30 grid of 100 m tiles
stale_tile=100
strip_width=10000 # metres: one flight line of 10 km by 1 km
strip_height=1000
strip_tile=50
strip_buffer=5

die() {
    echo "bench: $*" >&2
    exit 1
}

[[ "$points" =~ ^[0-9]+$ && "$points" -ge 1000 ]] || die "points must be a whole number of at least 1000"
[[ "$files" =~ ^[0-9]+$ && "$files" -ge 1 ]] || die "BENCH_FILES must be a whole number of at least 1"
[[ "$runs" =~ ^[0-9]+$ && "$runs" -ge 3 ]] || die "BENCH_RUNS must be at least 3"
[[ "$large_points" =~ ^[0-9]+$ ]] || die "BENCH_LARGE_POINTS must be a whole number"
[[ "$stale_files" =~ ^[0-9]+$ && "$stale_files" -ge 1 ]] || die "BENCH_STALE_FILES must be at least 1"
[[ "$priority" =~ ^(rt|nice|none)$ ]] || die "BENCH_PRIORITY must be none, nice or rt"
[[ -z "$only" || "$only" == las14 ]] || die "BENCH_ONLY must be las14 or empty"
[[ -z "$only" ]] || large_points=0
mkdir -p "$bench_dir"
bench_dir="$(cd "$bench_dir" && pwd)"
case "$bench_dir/" in
    "$repo_root"/*) die "BENCH_DIR must lie outside the repository" ;;
esac

# --- build ------------------------------------------------------------------
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    generator=()
    command -v ninja > /dev/null && generator=(-G Ninja)
    cmake -S "$repo_root" -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DTESSARO_BUILD_TESTS=OFF > /dev/null
fi
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build_dir/CMakeCache.txt")"
[[ "$build_type" == Release ]] || die "$build_dir is configured as '$build_type', not Release"
# A build of a version without tessaro_unbounded leaves out the strip, one
# without tessaro_las14_survey the LAS 1.4 variants.
targets=(tessaro tessaro_gensurvey tessaro_measure tessaro_verify tessaro_stale_survey)
build_targets="$(cmake --build "$build_dir" --target help 2> /dev/null || true)"
if grep -q '^tessaro_unbounded:' <<< "$build_targets"; then
    targets+=(tessaro_unbounded)
    grep -q '^tessaro_las14_survey:' <<< "$build_targets" && targets+=(tessaro_las14_survey)
fi
cmake --build "$build_dir" -j "$jobs" --target "${targets[@]}" > "$bench_dir/build.log" 2>&1 ||
    {
        tail -20 "$bench_dir/build.log" >&2
        die "build failed (log: $bench_dir/build.log)"
    }
tessaro="$build_dir/src/driver/tessaro"
unbounded="$build_dir/src/driver/tessaro_unbounded"
gensurvey="$build_dir/tools/tessaro_gensurvey"
measure="$build_dir/bench/tessaro_measure"
verify="$build_dir/tools/tessaro_verify"
stale_survey="$build_dir/bench/tessaro_stale_survey"
las14_survey="$build_dir/bench/tessaro_las14_survey"
with_las14=0
[[ " ${targets[*]} " == *" tessaro_las14_survey "* ]] && with_las14=1
[[ "$with_las14" -eq 1 || -z "$only" ]] || die "BENCH_ONLY=las14 needs a build with tessaro_las14_survey"

# The launcher, at the requested priority where the system permits it.
launch=()
priority_text="normal"
if [[ "$priority" == rt ]] && chrt -f 10 true 2> /dev/null; then
    launch=(chrt -f 10)
    priority_text="real-time (chrt -f 10)"
elif [[ "$priority" != none ]] && nice -n -20 true 2> /dev/null; then
    launch=(nice -n -20)
    priority_text="nice -20"
fi

# --- output directories -------------------------------------------------------
# Every run writes into a new directory runs/out. runs is marked as a top of
# a directory tree (chattr +T, ext2/3/4), so that the file system places each
# new out directory, and the files created in it, in a block group of its own
# choice instead of next to the work directory, whose groups may be full of
# recently deleted inodes (temporary files of compilers in /tmp, say); such
# an inode is passed over, at a cost, by every file creation for a minute.
runs_dir="$bench_dir/runs"
out_dir="$runs_dir/out"
trash_dir="$runs_dir/emptied"
large_dir="$bench_dir/large-$files-$large_points"
rm -rf "$runs_dir"
mkdir -p "$runs_dir"
chattr +T "$runs_dir" 2> /dev/null || true
trap 'rm -rf "$runs_dir" "$large_dir"; sync' EXIT

# Empties the output directory for the next run. The files are truncated
# (which frees their data) and set aside rather than deleted, for the same
# reason: no run deletes an inode during the measurements. The emptied files
# are deleted when the benchmark ends.
empty_output() {
    if [[ -d "$out_dir" ]]; then
        find "$out_dir" -type f -exec truncate -s 0 {} +
        mkdir -p "$trash_dir"
        mv "$out_dir" "$(mktemp -u "$trash_dir/run.XXXXXX")"
    fi
    mkdir "$out_dir"
    sync
}

# --- surveys ----------------------------------------------------------------
# Point format 1: 28 bytes a record, 227 bytes of header a file.
bytes_of() { echo $(($1 * 28 + 100 * 227)); }
need=0
for order in scan random tiled strip; do
    [[ -n "$only" && "$order" =~ tiled|strip ]] && continue
    [[ -f "$bench_dir/$order-$files-$points/stamp" ]] || need=$((need + $(bytes_of "$points")))
done
# LAS 1.4 point format 6: 30 bytes a record and as many extra bytes as asked,
# 375 bytes of header and an Extra Bytes VLR a file.
las14_extra=10
las14_bytes_of() { echo $(($1 * (30 + ${2:-0}) + 100 * 2000)); }
largest=$(bytes_of "$points")
if [[ "$with_las14" -eq 1 ]]; then
    for order in scan random; do
        [[ -f "$bench_dir/las14-$order-$files-$points/stamp" ]] ||
            need=$((need + $(las14_bytes_of "$points")))
    done
    largest=$(las14_bytes_of "$points" "$las14_extra")
    for order in scan random; do
        [[ -f "$bench_dir/las14x$las14_extra-$order-$files-$points/stamp" ]] || need=$((need + largest))
    done
fi
# The largest output (with buffer copies and headers) stays below 1.3 times the input.
need=$((need + largest * 13 / 10 + 100 * 1000 * 1000))
large_need=$(($(bytes_of "$large_points") * 2 + 100 * 1000 * 1000))
avail=$(($(df -Pk "$bench_dir" | awk 'NR == 2 { print $4 }') * 1024))
[[ "$avail" -ge "$need" ]] ||
    die "$bench_dir has $((avail / 1000000)) MB free, the benchmark needs about $((need / 1000000)) MB"

make_survey() { # dir points order [generator options]
    local dir="$1" n="$2" order="$3"
    shift 3
    local stamp="gensurvey --files $files --points $n --format 1 --seed 1 --order $order $*"
    if [[ -f "$dir/stamp" && "$(cat "$dir/stamp")" == "$stamp" ]]; then
        return
    fi
    rm -rf "$dir"
    "$gensurvey" --dir "$dir" --files "$files" --points "$n" --format 1 --seed 1 --order "$order" \
        --tile-size "$tile" "$@" > /dev/null
    echo "$stamp" > "$dir/stamp"
}
echo "Surveys ..." >&2
for order in scan random tiled; do
    [[ -n "$only" && "$order" == tiled ]] || make_survey "$bench_dir/$order-$files-$points" "$points" "$order"
done
# The strip: the same number of points in one flight line of 10 km by 1 km,
# in scanner order; at 50 m tiles it spreads over thousands of tiles.
strip_dir="$bench_dir/strip-$files-$points"
[[ -x "$unbounded" && -z "$only" ]] && files=1 make_survey "$strip_dir" "$points" scan --width "$strip_width" \
    --height "$strip_height"
# The LAS 1.4 point format 6 copies of the survey in scanner and random order:
# the same records in the same order, each field in its format 6 place,
# without and with extra bytes (40 bytes a record, a length that no point
# format has).
make_las14_survey() { # source dir extra
    local stamp
    stamp="las14_survey $3 of: $(cat "$1/stamp")"
    if [[ -f "$2/stamp" && "$(cat "$2/stamp")" == "$stamp" ]]; then
        return
    fi
    rm -rf "$2"
    "$las14_survey" "$1/survey.txt" "$2" "$3"
    echo "$stamp" > "$2/stamp"
}
if [[ "$with_las14" -eq 1 ]]; then
    for order in scan random; do
        make_las14_survey "$bench_dir/$order-$files-$points" "$bench_dir/las14-$order-$files-$points" 0
        make_las14_survey "$bench_dir/$order-$files-$points" \
            "$bench_dir/las14x$las14_extra-$order-$files-$points" "$las14_extra"
    done
fi
stale_dir="$bench_dir/stale-$stale_files-$stale_points"
if [[ -z "$only" && ! -f "$stale_dir/stamp" ]]; then
    rm -rf "$stale_dir"
    "$stale_survey" "$stale_dir" "$stale_files" "$stale_points" "$stale_side" 10
    echo done > "$stale_dir/stamp"
fi

input_bytes() { # list file
    local total=0 f
    while read -r f; do total=$((total + $(stat -c %s "$f"))); done < "$1"
    echo "$total"
}

# --- variants ---------------------------------------------------------------
# name | list file | points | tile size | options | buffer for the check | program
variants=()
if [[ -z "$only" ]]; then
    for order in scan random tiled; do
        list="$bench_dir/$order-$files-$points/survey.txt"
        variants+=("$order|$list|$points|$tile||0|$tessaro"
            "$order -b $buffer|$list|$points|$tile|-b $buffer|$buffer|$tessaro")
    done
    stale_records=$((stale_files * stale_points + 2))
    variants+=("stale headers|$stale_dir/survey.txt|$stale_records|$stale_tile||0|$tessaro")
    # The strip spreads over more than 99 tiles, so tessaro_unbounded cuts it.
    [[ -x "$unbounded" ]] &&
        variants+=("strip -b $strip_buffer|$strip_dir/survey.txt|$points|$strip_tile|-b $strip_buffer|$strip_buffer|$unbounded")
fi
# LAS 1.2 point format 1 against LAS 1.4 point format 6 on the same records,
# both through tessaro_unbounded (tessaro refuses LAS 1.4): each pair of
# variants runs back to back in every round, the 1.2 one first in odd rounds.
# After the plain pair of each order, the format 6 records with extra bytes,
# compared with the plain format 6 ones (extra_pairs).
pairs=()
extra_pairs=()
if [[ "$with_las14" -eq 1 ]]; then
    for order in scan random; do
        for opts in "" "-b $buffer"; do
            check=0
            [[ -n "$opts" ]] && check=$buffer
            pairs+=("${#variants[@]} $((${#variants[@]} + 1))")
            variants+=("1.2/1 $order${opts:+ $opts}|$bench_dir/$order-$files-$points/survey.txt|$points|$tile|$opts|$check|$unbounded"
                "1.4/6 $order${opts:+ $opts}|$bench_dir/las14-$order-$files-$points/survey.txt|$points|$tile|$opts|$check|$unbounded")
            if [[ -z "$opts" ]]; then
                extra_pairs+=("$((${#variants[@]} - 1)) ${#variants[@]}")
                variants+=("1.4/6+$las14_extra $order|$bench_dir/las14x$las14_extra-$order-$files-$points/survey.txt|$points|$tile||0|$unbounded")
            fi
        done
    done
fi

# variant index; the tiler's wall s, peak KiB, user s, system s; the same of its cp
results="$bench_dir/results.txt"
: > "$results"

# Runs `program list out/T size opts` or, with "cp", cp of the list's files.
timed() { # list size opts|cp [program] -> "wall KiB user system"
    local args
    empty_output
    if [[ "$3" == cp ]]; then
        mapfile -t inputs < "$1"
        args=(cp "${inputs[@]}" "$out_dir/")
    else
        # shellcheck disable=SC2206  # the options are words
        args=("${4:-$tessaro}" "$1" out/T "$2" $3)
    fi
    (cd "$runs_dir" && "${launch[@]}" "$measure" -q -o "$bench_dir/m.txt" -- "${args[@]}") ||
        die "run failed: ${args[*]}"
    cat "$bench_dir/m.txt"
}

# The first run after a pause of writing can find the page cache's free
# pages given back to the host of a virtual machine and pay for them, so cp
# goes first in odd rounds and the tiler in even ones. In the warm-up the
# tiler goes last, so that its output is there to be checked.
# Reads the input files of a list, outside the timing: whatever took their
# pages out of the page cache since they were last read (other work on the
# machine, a cache drop), both runs of the pair read them from memory.
warm_inputs() { # list file
    local inputs
    mapfile -t inputs < "$1"
    cat "${inputs[@]}" > /dev/null
}

run_pair() { # index round (0: warm-up, not recorded)
    local name list npts size opts check program copy tiler
    IFS='|' read -r name list npts size opts check program <<< "${variants[$1]}"
    warm_inputs "$list"
    if (($2 % 2 == 1 || $2 == 0)); then
        copy="$(timed "$list" "$size" cp)"
        tiler="$(timed "$list" "$size" "$opts" "$program")"
    else
        tiler="$(timed "$list" "$size" "$opts" "$program")"
        copy="$(timed "$list" "$size" cp)"
    fi
    [[ "$2" -ne 0 ]] && echo "$1 $tiler $copy" >> "$results"
    return 0
}

verified=()
verify_failed=0
echo "Warm-up and checks ..." >&2
for i in "${!variants[@]}"; do
    run_pair "$i" 0
    IFS='|' read -r name list npts size opts check program <<< "${variants[$i]}"
    unbounded_check=()
    [[ "$program" == "$unbounded" ]] && unbounded_check=(--unbounded)
    if msg="$(cd "$runs_dir" && "$verify" "${unbounded_check[@]}" "$list" out/T "$size" "$check")"; then
        verified[$i]="ok"
    else
        verified[$i]="FAILED: $msg"
        verify_failed=1
    fi
done
# Page cache drops and file pages reclaimed since boot: taken before and
# after the timed rounds, for the report.
cache_losses() {
    awk '$1 == "drop_pagecache" { d = $2 } $1 == "pgsteal_file" { p = $2 } END { print d + 0, p + 0 }' /proc/vmstat
}
read -r drops_before reclaimed_before <<< "$(cache_losses)"
# The second variant of each compared pair, to run first in even rounds.
declare -A second_of
for pair in "${pairs[@]}"; do second_of[${pair% *}]=${pair#* }; done
for ((round = 1; round <= runs; ++round)); do
    echo "Round $round of $runs ..." >&2
    for ((i = 0; i < ${#variants[@]}; ++i)); do
        if [[ -n "${second_of[$i]:-}" ]] && ((round % 2 == 0)); then
            run_pair "${second_of[$i]}" "$round"
            run_pair "$i" "$round"
            i=${second_of[$i]}
        else
            run_pair "$i" "$round"
        fi
    done
done

read -r drops_after reclaimed_after <<< "$(cache_losses)"

# --- the large survey ---------------------------------------------------------
large_line=""
if [[ "$large_points" -gt 0 ]]; then
    avail=$(($(df -Pk "$bench_dir" | awk 'NR == 2 { print $4 }') * 1024))
    if [[ "$avail" -lt "$large_need" ]]; then
        large_line="skipped: $((avail / 1000000)) MB free, the large survey needs about $((large_need / 1000000)) MB"
    else
        echo "Large survey ($large_points points) ..." >&2
        make_survey "$large_dir" "$large_points" scan
        timed "$large_dir/survey.txt" "$tile" "" > /dev/null # warms the cache as far as it goes
        large_copy="$(timed "$large_dir/survey.txt" "$tile" cp)"
        large_tiler="$(timed "$large_dir/survey.txt" "$tile" "")"
        large_bytes="$(input_bytes "$large_dir/survey.txt")"
        large_line="$large_tiler ${large_copy%% *} $large_bytes"
        rm -rf "$large_dir"
    fi
fi
rm -rf "$runs_dir"
sync

# --- report -----------------------------------------------------------------
# Median of the tiler's wall time, of cp's, of the ratio of each pair, the
# largest peak memory, and the medians of the tiler's and cp's processor
# time (user + system) of each variant.
stats() { # index -> "wall cp_wall ratio peak_KiB cpu cp_cpu"
    awk -v i="$1" '$1 == i { n++; w[n] = $2; c[n] = $6; q[n] = $2 / $6; if ($3 > r) r = $3
                             u[n] = $4 + $5; v[n] = $8 + $9 }
        function med(a, n,   k, j, t) {
            for (k = 2; k <= n; k++) { t = a[k]; for (j = k - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        END { printf "%.6f %.6f %.6f %.0f %.6f %.6f\n", med(w, n), med(c, n), med(q, n), r, med(u, n), med(v, n) }' \
        "$results"
}
# For two variants a and b: the median and range of the rounds' ratios of
# b's MB/s to a's, the ratio of their best MB/s (other work on the machine
# only ever slows a run down) and the median of the ratios of their processor
# time per input byte, from the runs of the same round.
pair_stats() { # a b bytes_a bytes_b -> "ratio min max best cpu_ratio"
    awk -v a="$1" -v b="$2" -v ba="$3" -v bb="$4" '
        $1 == a { na++; wa[na] = $2; ca[na] = $4 + $5 }
        $1 == b { nb++; wb[nb] = $2; cb[nb] = $4 + $5 }
        function med(x, n,   k, j, t) {
            for (k = 2; k <= n; k++) { t = x[k]; for (j = k - 1; j >= 1 && x[j] > t; j--) x[j + 1] = x[j]; x[j + 1] = t }
            return n % 2 ? x[(n + 1) / 2] : (x[n / 2] + x[n / 2 + 1]) / 2
        }
        END {
            n = na < nb ? na : nb
            for (k = 1; k <= n; k++) { r[k] = (bb / wb[k]) / (ba / wa[k]); c[k] = (cb[k] / bb) / (ca[k] / ba) }
            lo = r[1]; hi = r[1]; fa = wa[1]; fb = wb[1]
            for (k = 2; k <= n; k++) {
                if (r[k] < lo) lo = r[k]; if (r[k] > hi) hi = r[k]
                if (wa[k] < fa) fa = wa[k]; if (wb[k] < fb) fb = wb[k]
            }
            printf "%.4f %.4f %.4f %.4f %.4f\n", med(r, n), lo, hi, (bb / fb) / (ba / fa), med(c, n)
        }' "$results"
}
pair_line() { # a b label
    local ba bb q lo hi best c
    ba="$(input_bytes "$(cut -d'|' -f2 <<< "${variants[$1]}")")"
    bb="$(input_bytes "$(cut -d'|' -f2 <<< "${variants[$2]}")")"
    read -r q lo hi best c <<< "$(pair_stats "$1" "$2" "$ba" "$bb")"
    awk -v name="$3" -v ba="$ba" -v bb="$bb" -v wa="${wall[$1]}" -v wb="${wall[$2]}" -v q="$q" -v lo="$lo" \
        -v hi="$hi" -v best="$best" -v c="$c" -v ra="${rss[$1]}" -v rb="${rss[$2]}" \
        'BEGIN { printf "  %-18s %11.0f %11.0f %6.3f %6.3f (%.2f-%.2f) %6.3f %7.3f %9.1f %9.1f\n", name, ba / wa / 1e6,
                 bb / wb / 1e6, (bb / wb) / (ba / wa), q, lo, hi, best, c, ra / 1024, rb / 1024 }'
    pair_ratio[$1]="$(awk -v ba="$ba" -v bb="$bb" -v wa="${wall[$1]}" -v wb="${wall[$2]}" \
        'BEGIN { printf "%.4f", (bb / wb) / (ba / wa) }')"
}
declare -a wall cpw ratio rss cpu cpcpu pair_ratio
for i in "${!variants[@]}"; do
    read -r wall[$i] cpw[$i] ratio[$i] rss[$i] cpu[$i] cpcpu[$i] <<< "$(stats "$i")"
done

cpu_model="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo
echo "Tessaro throughput benchmark"
orders_text="in three orders"
[[ -n "$only" ]] && orders_text="in scanner and random order"
echo "  survey     $files flight-line strips, point format 1, $points points, $orders_text; tile size $tile"
[[ -z "$only" ]] && echo "  stale      $stale_files files of $stale_points points over a ${stale_side} m square, headers claiming 10 m; tile size $stale_tile"
[[ "$with_las14" -eq 1 ]] &&
    echo "  LAS 1.4    the survey's records in scanner and random order as LAS 1.4 point format 6 (1.4/6), plain and with $las14_extra extra bytes (+$las14_extra)"
echo "  machine    $(nproc) cores, ${cpu_model:-unknown processor}, Linux $(uname -r), $(findmnt -no FSTYPE -T "$bench_dir" 2> /dev/null || echo '?') in $bench_dir"
echo "  method     warm page cache; $runs rounds after one warm-up, each run paired with cp of the same files"
echo "             (cp first in odd rounds); output emptied and synced before each run, outside the timing; priority $priority_text"
echo "  load       $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min averages at the end)"
echo "  page cache $((drops_after - drops_before)) drops (drop_caches) and $((reclaimed_after - reclaimed_before)) file pages reclaimed during the timed rounds; inputs read before each pair"
echo
printf "%-18s %11s %8s %8s %8s %6s %9s %7s %8s %9s %9s  %s\n" variant points "MB in" "wall s" "cp s" "x cp" \
    "Mpoint/s" "MB/s" "peak MiB" "CPU/100M" "cp/100M" check
for i in "${!variants[@]}"; do
    IFS='|' read -r name list npts size opts check program <<< "${variants[$i]}"
    nbytes="$(input_bytes "$list")"
    awk -v name="$name" -v p="$npts" -v b="$nbytes" -v w="${wall[$i]}" -v c="${cpw[$i]}" -v q="${ratio[$i]}" \
        -v r="${rss[$i]}" -v u="${cpu[$i]}" -v v="${cpcpu[$i]}" -v chk="${verified[$i]}" \
        'BEGIN { printf "%-18s %11d %8.1f %8.3f %8.3f %6.2f %9.1f %7.0f %8.1f %9.2f %9.2f  %s\n", name, p, b / 1e6,
                 w, c, q, p / w / 1e6, b / w / 1e6, r / 1024, u / p * 1e8, v / p * 1e8, chk }'
done
echo "(wall s, cp s: medians; x cp: median of the ratios of the paired runs; peak MiB: the largest of the runs;"
echo " CPU/100M, cp/100M: median user + system seconds per 100 million points of the tiler and of its cp,"
echo " steadier than wall times on a shared machine)"
[[ "$with_las14" -eq 1 ]] &&
    echo "(1.2/1: LAS 1.2 point format 1, 1.4/6: the same records as LAS 1.4 point format 6; the strip and these through tessaro_unbounded)"
if [[ "$with_las14" -eq 1 ]]; then
    echo
    echo "LAS 1.4 point format 6 against LAS 1.2 point format 1, the same records, tessaro_unbounded:"
    printf "  %-18s %11s %11s %6s %18s %6s %7s %9s %9s\n" variant "MB/s 1.2/1" "MB/s 1.4/6" ratio \
        "rounds (min-max)" best "CPU/MB" "peak 1.2" "peak 1.4"
    for pair in "${pairs[@]}"; do
        read -r a b <<< "$pair"
        name="${variants[$a]%%|*}"
        pair_line "$a" "$b" "${name#1.2/1 }"
    done
    for pair in "${extra_pairs[@]}"; do
        read -r a b <<< "$pair"
        name="${variants[$b]%%|*}"
        pair_line "$a" "$b" "+$las14_extra/plain ${name##* }"
    done
    echo "(MB/s: of the median wall times; ratio: of these MB/s, 1.4/6 to 1.2/1; rounds: median and range of the"
    echo " rounds' ratios of MB/s, each pair run back to back; best: ratio of the best MB/s of the rounds; CPU/MB:"
    echo " median of the rounds' ratios of processor time per input byte; peak: MiB, largest run; the +$las14_extra/plain"
    echo " lines compare 1.4/6 with $las14_extra extra bytes a record with plain 1.4/6, whose figures stand in the 1.2/1 columns)"
fi
echo
if [[ -n "$large_line" && "$large_line" != skipped* ]]; then
    read -r lw lr lu ls lc lb <<< "$large_line"
    echo "Large survey, scanner order, plain tiling (one run, beside cp of the same files):"
    awk -v p="$large_points" -v w="$lw" -v r="$lr" -v c="$lc" -v b="$lb" -v sw="${wall[0]}" -v sp="$points" \
        -v sr="${rss[0]}" \
        'BEGIN {
            printf "  %d points, %.1f MB: wall %.2f s, cp %.2f s, x cp %.2f, %.1f Mpoint/s, %.0f MB/s, peak %.1f MiB\n",
                   p, b / 1e6, w, c, w / c, p / w / 1e6, b / w / 1e6, r / 1024
            printf "  time per point against the %d-point survey: %.2f; peak memory: %.2f\n", sp,
                   (w / p) / (sw / sp), r / sr
        }'
elif [[ -n "$large_line" ]]; then
    echo "Large survey: $large_line"
fi
echo
echo "Targets (on the medians):"
[[ -z "$only" ]] && awk -v q0="${ratio[0]}" -v q1="${ratio[1]}" -v q2="${ratio[2]}" -v q3="${ratio[3]}" -v q4="${ratio[4]}" \
    -v q6="${ratio[6]}" -v r0="${rss[0]}" -v r1="${rss[1]}" -v r2="${rss[2]}" -v r3="${rss[3]}" \
    -v r4="${rss[4]}" -v r5="${rss[5]}" -v r6="${rss[6]}" -v rl="${lr:-0}" \
    'function v(ok) { return ok ? "met" : "NOT MET" }
    BEGIN {
        max = r0; if (r1 > max) max = r1; if (r2 > max) max = r2; if (r3 > max) max = r3
        if (r4 > max) max = r4; if (r5 > max) max = r5; if (r6 > max) max = r6; if (rl > max) max = rl
        printf "  scanner order, plain   <= 1.3 x cp   %5.2f  %s\n", q0, v(q0 <= 1.3)
        printf "  scanner order, -b 10   <= 1.6 x cp   %5.2f  %s\n", q1, v(q1 <= 1.6)
        printf "  random order, plain    <= 2.0 x cp   %5.2f  %s\n", q2, v(q2 <= 2.0)
        printf "  random order, -b 10    <= 2.6 x cp   %5.2f  %s\n", q3, v(q3 <= 2.6)
        printf "  tiled input, plain     <= 1.2 x cp   %5.2f  %s\n", q4, v(q4 <= 1.2)
        printf "  stale headers          <= 3.0 x cp   %5.2f  %s\n", q6, v(q6 <= 3.0)
        printf "  peak memory            <= 32 MiB    %5.1f  %s\n", max / 1024, v(max <= 32 * 1024)
    }'
if [[ "$with_las14" -eq 1 ]]; then
    for pair in "${pairs[@]}"; do
        read -r a b <<< "$pair"
        name="${variants[$a]%%|*}"
        awk -v name="${name#1.2/1 }" -v q="${pair_ratio[$a]}" -v ra="${rss[$a]}" -v rb="${rss[$b]}" \
            'BEGIN { printf "  LAS 1.4/6 %-12s >= 0.90 x the median MB/s of 1.2/1  %5.2f  %s; peak %.1f MiB against %.1f\n",
                     name, q, (q >= 0.9 ? "met" : "NOT MET"), rb / 1024, ra / 1024 }'
    done
fi
[[ "$verify_failed" -eq 0 ]] || die "an output failed its check"
