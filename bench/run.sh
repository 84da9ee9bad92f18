#!/usr/bin/env bash
# Throughput benchmark: how close the tiler runs to the I/O limit, a plain cp
# of the same input files, and how its time and memory grow with the survey.
#
# Usage: bench/run.sh [points]
#
#   points            points in the full survey (default 20000000, about 560 MB)
#
# Environment:
#   BENCH_DIR         work directory, outside the repository (default /tmp/tessaro-bench)
#   BENCH_FILES       flight-line files of the survey         (default 8)
#   BENCH_RUNS        timed runs per variant, at least 3      (default 7)
#   BENCH_BUILD_DIR   Release build directory                  (default <repo>/build-bench)
#   BENCH_JOBS        parallel build jobs                      (default 2)
#   BENCH_PRIORITY    rt, nice or none: how the timed commands are run  (default rt)
#                     rt runs them with chrt -f 10 (real-time, so that other work on
#                     the machine does not preempt them), nice with nice -n -20;
#                     either falls back to the next when not permitted
#
# It builds what it needs (Release), generates the survey and a tenth of it
# with tessaro_gensurvey (kept for later runs with the same parameters),
# warms the page cache with one run of every variant, checks each tiled
# output once with tessaro_verify, then times the variants in rounds, one run
# of each per round, so that a change in background load spreads over all of
# them. Before every run the output directory is emptied and the dirty pages
# are written back (sync), both outside the timing. Exit status 0 when every
# run and every check succeeded (targets are reported, not enforced).
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
points="${1:-${BENCH_POINTS:-20000000}}"
files="${BENCH_FILES:-8}"
runs="${BENCH_RUNS:-7}"
bench_dir="${BENCH_DIR:-/tmp/tessaro-bench}"
build_dir="${BENCH_BUILD_DIR:-$repo_root/build-bench}"
jobs="${BENCH_JOBS:-2}"
priority="${BENCH_PRIORITY:-rt}"
tile=250
buffer=10
resolution=1

die() {
    echo "bench: $*" >&2
    exit 1
}

[[ "$points" =~ ^[0-9]+$ && "$points" -ge 10 ]] || die "points must be a whole number of at least 10"
[[ "$files" =~ ^[0-9]+$ && "$files" -ge 1 ]] || die "BENCH_FILES must be a whole number of at least 1"
[[ "$runs" =~ ^[0-9]+$ && "$runs" -ge 3 ]] || die "BENCH_RUNS must be at least 3"
[[ "$priority" =~ ^(rt|nice|none)$ ]] || die "BENCH_PRIORITY must be rt, nice or none"
mkdir -p "$bench_dir"
bench_dir="$(cd "$bench_dir" && pwd)"
case "$bench_dir/" in
    "$repo_root"/*) die "BENCH_DIR must lie outside the repository" ;;
esac

# --- build ------------------------------------------------------------------
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    generator=()
    command -v ninja > /dev/null && generator=(-G Ninja)
    cmake -S "$repo_root" -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release > /dev/null
fi
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build_dir/CMakeCache.txt")"
[[ "$build_type" == Release ]] || die "$build_dir is configured as '$build_type', not Release"
targets=(tessaro tessaro_gensurvey tessaro_measure)
have_verify=0
if grep -q 'add_executable(tessaro_verify' "$repo_root/tools/CMakeLists.txt" 2> /dev/null; then
    targets+=(tessaro_verify)
    have_verify=1
fi
cmake --build "$build_dir" -j "$jobs" --target "${targets[@]}" > "$bench_dir/build.log" 2>&1 ||
    {
        tail -20 "$bench_dir/build.log" >&2
        die "build failed (log: $bench_dir/build.log)"
    }
tessaro="$build_dir/src/driver/tessaro"
gensurvey="$build_dir/tools/tessaro_gensurvey"
measure="$build_dir/bench/tessaro_measure"
verify="$build_dir/tools/tessaro_verify"

# The launcher, at the requested priority where the system permits it.
launch=()
if [[ "$priority" == rt ]] && chrt -f 10 true 2> /dev/null; then
    launch=(chrt -f 10)
    priority_text="real-time (chrt -f 10)"
elif [[ "$priority" != none ]] && nice -n -20 true 2> /dev/null; then
    launch=(nice -n -20)
    priority_text="nice -20"
else
    priority_text="normal"
fi

# --- surveys ----------------------------------------------------------------
tenth=$((points / 10))
full_dir="$bench_dir/survey-$files-$points"
tenth_dir="$bench_dir/survey-$files-$tenth"
# The same layout with a few points: the part of a run's time that does not
# grow with the points (process start, one file per tile, the tiles of each
# input file opened and closed, the headers rewritten).
few=$((files * 1000))
few_dir="$bench_dir/survey-$files-$few"
# Every run writes into a new directory runs/out. runs is marked as a top of
# a directory tree (chattr +T, ext2/3/4), so that the file system places each
# new out directory, and the files created in it, in a block group of its own
# choice instead of next to the work directory, whose groups may be full of
# recently deleted inodes (temporary files of compilers in /tmp, say); such
# an inode is passed over, at a cost, by every file creation for a minute.
runs_dir="$bench_dir/runs"
out_dir="$runs_dir/out"
trash_dir="$runs_dir/emptied"
rm -rf "$runs_dir"
mkdir -p "$runs_dir"
chattr +T "$runs_dir" 2> /dev/null || true

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
trap 'rm -rf "$runs_dir"; sync' EXIT

# Cost of creating one file in a fresh output directory, for the report
# (tiling creates one file per tile); the probe files are set aside too.
probe_creates() {
    empty_output
    local start end i
    start=$EPOCHREALTIME
    for ((i = 0; i < 200; ++i)); do : > "$out_dir/probe$i"; done
    end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", (e - s) / 200 * 1e6 }'
}

# Point format 1: 28 bytes a record, 227 bytes of header a file.
bytes_of() { echo $(($1 * 28 + files * 227)); }
need=0
for d in "$full_dir:$points" "$tenth_dir:$tenth" "$few_dir:$few"; do
    [[ -f "${d%%:*}/stamp" ]] || need=$((need + $(bytes_of "${d#*:}")))
done
# The largest output (with buffer copies and headers) stays below 1.3 times the input.
need=$((need + $(bytes_of "$points") * 13 / 10 + 100 * 1000 * 1000))
avail=$(($(df -Pk "$bench_dir" | awk 'NR == 2 { print $4 }') * 1024))
[[ "$avail" -ge "$need" ]] ||
    die "$bench_dir has $((avail / 1000000)) MB free, the benchmark needs about $((need / 1000000)) MB"

make_survey() { # dir points
    local stamp="gensurvey --files $files --points $2 --format 1 --seed 1"
    if [[ -f "$1/stamp" && "$(cat "$1/stamp")" == "$stamp" ]]; then
        return
    fi
    rm -rf "$1"
    "$gensurvey" --dir "$1" --files "$files" --points "$2" --format 1 --seed 1 > /dev/null
    echo "$stamp" > "$1/stamp"
}
make_survey "$full_dir" "$points"
make_survey "$tenth_dir" "$tenth"
make_survey "$few_dir" "$few"

input_bytes() { # dir
    local total=0 f
    for f in "$1"/*.las; do total=$((total + $(stat -c %s "$f"))); done
    echo "$total"
}
full_bytes="$(input_bytes "$full_dir")"
tenth_bytes="$(input_bytes "$tenth_dir")"
few_bytes="$(input_bytes "$few_dir")"
full_files=("$full_dir"/*.las)

# --- variants ---------------------------------------------------------------
# name | points | input bytes | tiler options ("cp" for the copy)
variants=(
    "cp|$points|$full_bytes|cp"
    "tessaro $tile|$points|$full_bytes|"
    "tessaro $tile -b $buffer|$points|$full_bytes|-b $buffer"
    "tessaro $tile -r $resolution -b $buffer -s|$points|$full_bytes|-r $resolution -b $buffer -s"
    "tessaro $tile (tenth)|$tenth|$tenth_bytes|"
    "tessaro $tile ($few points)|$few|$few_bytes|"
)

results="$bench_dir/results.txt" # variant index, wall s, peak KiB, user s, system s
: > "$results"

run_variant() { # index record(0|1)
    local spec="${variants[$1]}" opts list args
    opts="${spec##*|}"
    empty_output
    if [[ "$opts" == cp ]]; then
        args=(cp "${full_files[@]}" "$out_dir/")
    else
        list="$full_dir/survey.txt"
        [[ "$1" -eq 4 ]] && list="$tenth_dir/survey.txt"
        [[ "$1" -eq 5 ]] && list="$few_dir/survey.txt"
        # shellcheck disable=SC2206  # the options are words
        args=("$tessaro" "$list" out/T "$tile" $opts)
    fi
    (cd "$runs_dir" && "${launch[@]}" "$measure" -q -o "$bench_dir/m.txt" -- "${args[@]}") ||
        die "run failed: ${args[*]}"
    [[ "$2" -eq 1 ]] && echo "$1 $(cat "$bench_dir/m.txt")" >> "$results"
    return 0
}

verify_output() { # index
    local spec="${variants[$1]}" opts list vargs=()
    opts="${spec##*|}"
    list="$full_dir/survey.txt"
    [[ "$1" -eq 4 ]] && list="$tenth_dir/survey.txt"
    [[ "$1" -eq 5 ]] && list="$few_dir/survey.txt"
    case "$opts" in
        *-b*) vargs+=("$buffer") ;;
        *) vargs+=(0) ;;
    esac
    [[ "$opts" == *-r* ]] && vargs+=("$resolution")
    local msg
    if msg="$(cd "$runs_dir" && "$verify" "$list" out/T "$tile" "${vargs[@]}")"; then
        verified[$1]="ok"
    else
        verified[$1]="FAILED: $msg"
        verify_failed=1
    fi
}

create_us="$(probe_creates)"
out_mb=()
verified=()
verify_failed=0
echo "Warm-up and checks ..." >&2
for i in "${!variants[@]}"; do
    run_variant "$i" 0
    out_mb[$i]="$(du -sb "$out_dir" | awk '{ printf "%.1f", $1 / 1e6 }')"
    if [[ "$i" -gt 0 && "$have_verify" -eq 1 ]]; then
        verify_output "$i"
    else
        verified[$i]="-"
    fi
done
for ((round = 1; round <= runs; ++round)); do
    echo "Round $round of $runs ..." >&2
    for i in "${!variants[@]}"; do run_variant "$i" 1; done
done
rm -rf "$runs_dir"
sync

# --- report -----------------------------------------------------------------
# Median, minimum and maximum of the wall times, median of the processor
# time, median and maximum of the peak memory of each variant.
stats() { # index -> "wall_median wall_min wall_max cpu_median rss_median_KiB rss_max_KiB"
    awk -v i="$1" '$1 == i { n++; w[n] = $2; r[n] = $3; c[n] = $4 + $5 }
        function med(a, n,   k, j, t) {
            for (k = 2; k <= n; k++) { t = a[k]; for (j = k - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        END {
            mw = med(w, n); mc = med(c, n); mr = med(r, n)
            printf "%.6f %.6f %.6f %.6f %.0f %.0f\n", mw, w[1], w[n], mc, mr, r[n]
        }' "$results"
}
declare -a wall wmin wmax cpu rss rssmax
for i in "${!variants[@]}"; do
    read -r wall[$i] wmin[$i] wmax[$i] cpu[$i] rss[$i] rssmax[$i] <<< "$(stats "$i")"
done

cpu_model="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo
echo "Tessaro throughput benchmark"
echo "  survey     $files flight-line files, point format 1, $points points, $(awk -v b="$full_bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB; tenth: $tenth points"
echo "  machine    $(nproc) cores, ${cpu_model:-unknown processor}, Linux $(uname -r), $(findmnt -no FSTYPE -T "$bench_dir" 2> /dev/null || echo '?') in $bench_dir"
echo "  method     warm page cache; median of $runs runs after one warm-up, in rounds; output emptied and synced before each run, outside the timing; priority $priority_text"
echo "  files      creating a file in a fresh output directory took ${create_us} us (200-file probe)"
echo "  load       $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min averages at the end)"
echo
printf "%-28s %7s %7s %7s %7s %9s %7s %7s %8s %6s %6s  %s\n" variant "wall s" "min s" "max s" "cpu s" \
    "Mpoint/s" "MB/s" "out MB" "peak MiB" "x cp" "(min)" check
for i in 0 1 2 3; do
    IFS='|' read -r name npts nbytes _ <<< "${variants[$i]}"
    awk -v name="$name" -v w="${wall[$i]}" -v m="${wmin[$i]}" -v x="${wmax[$i]}" -v c="${cpu[$i]}" -v p="$npts" \
        -v b="$nbytes" -v o="${out_mb[$i]}" -v r="${rssmax[$i]}" -v cp="${wall[0]}" -v cpmin="${wmin[0]}" \
        -v chk="${verified[$i]}" \
        'BEGIN { printf "%-28s %7.3f %7.3f %7.3f %7.3f %9.1f %7.0f %7s %8.1f %6.2f %6.2f  %s\n", name, w, m, x, c,
                 p / w / 1e6, b / w / 1e6, o, r / 1024, w / cp, m / cpmin, chk }'
done
echo "(wall s, cpu s: medians; x cp: median over cp's median, (min): minimum over cp's minimum;"
echo " Mpoint/s and MB/s: input points and bytes per median second; peak MiB: the largest of the runs)"
echo
echo "Scaling of plain tiling ($tile m tiles), tenth -> full:"
awk -v t="$tenth" -v f="$points" -v wt="${wall[4]}" -v wf="${wall[1]}" -v mt="${wmin[4]}" -v mf="${wmin[1]}" \
    -v rt="${rssmax[4]}" -v rf="${rssmax[1]}" -v chk="${verified[4]}" -v n="$few" -v w0="${wall[5]}" \
    -v m0="${wmin[5]}" -v r0="${rssmax[5]}" -v chk0="${verified[5]}" \
    'BEGIN {
        printf "  %10d points   wall %7.3f s (min %7.3f)   peak %6.1f MiB   check %s\n", t, wt, mt, rt / 1024, chk
        printf "  %10d points   wall %7.3f s (min %7.3f)   peak %6.1f MiB\n", f, wf, mf, rf / 1024
        printf "  ratio full / tenth: wall %.2f (minima %.2f), peak memory %.3f\n", wf / wt, mf / mt, rf / rt
        printf "  %10d points   wall %7.3f s (min %7.3f)   peak %6.1f MiB   check %s\n", n, w0, m0, r0 / 1024, chk0
        printf "  the same layout with %d points takes the part that does not grow with the points;\n", n
        printf "  ratio full / tenth of the rest: %.2f (minima %.2f)\n", (wf - w0) / (wt - w0), (mf - m0) / (mt - m0)
    }'
echo
echo "Targets (on the medians; on the minima in brackets):"
awk -v cp="${wall[0]}" -v p="${wall[1]}" -v b="${wall[2]}" -v wt="${wall[4]}" \
    -v cpm="${wmin[0]}" -v pm="${wmin[1]}" -v bm="${wmin[2]}" -v wtm="${wmin[4]}" \
    -v r1="${rssmax[1]}" -v r2="${rssmax[2]}" -v r3="${rssmax[3]}" -v rt="${rssmax[4]}" -v r0="${rssmax[5]}" \
    'function v(ok) { return ok ? "met" : "NOT MET" }
    BEGIN {
        max = r1; if (r2 > max) max = r2; if (r3 > max) max = r3; if (rt > max) max = rt; if (r0 > max) max = r0
        d = r1 / rt - 1; if (d < 0) d = -d
        printf "  plain tiling <= 1.5 x cp             %5.2f x   (%5.2f)  %s\n", p / cp, pm / cpm, v(p / cp <= 1.5)
        printf "  with -b 10   <= 1.8 x cp             %5.2f x   (%5.2f)  %s\n", b / cp, bm / cpm, v(b / cp <= 1.8)
        printf "  peak memory  < 64 MiB at every size  %5.1f MiB          %s\n", max / 1024, v(max < 64 * 1024)
        printf "  peak memory, tenth vs full, within 10%% %4.1f %%             %s\n", d * 100, v(d <= 0.10)
        printf "  wall time, tenth -> full, 8 .. 12    %5.2f     (%5.2f)  %s\n", p / wt, pm / wtm,
               v(p / wt >= 8 && p / wt <= 12)
    }'
[[ "$have_verify" -eq 1 ]] || echo "(tessaro_verify is not part of this build; outputs were not checked)"
[[ "$verify_failed" -eq 0 ]] || die "an output failed its check"
