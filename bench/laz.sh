#!/usr/bin/env bash
# LAZ benchmark: tessaro_unbounded on a LAZ survey (the benchmark's survey,
# compressed) against its floor, the time the LAZ codec alone takes on one
# thread to decompress every input chunk once and compress every chunk the
# run wrote once (tessaro_laz_run_floor), and the run on every processor
# against the same run on one (taskset -c 0).
#
# Usage: bench/laz.sh [points]      (default 20000000, in 8 flight-line files)
#
# Environment: BENCH_DIR (default /tmp/tessaro-bench-laz), BENCH_RUNS (runs of
# each variant, default 3), BENCH_BUILD_DIR (default <repo>/build-bench),
# BENCH_JOBS (build jobs, default 2).
#
# For each of scanner and random order, plain and with -b 10, it prints the
# median wall time on every processor and on one, the floor (median of as
# many measurements), Mpts/s of the input points, the ratios to the floor and
# between the two, the peak memory, and the median time of a plain `cp` of
# the input files. Exit status 0 when every run and check succeeded (targets are
# reported, not enforced).
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
points="${1:-20000000}"
runs="${BENCH_RUNS:-3}"
bench_dir="${BENCH_DIR:-/tmp/tessaro-bench-laz}"
build_dir="${BENCH_BUILD_DIR:-$repo_root/build-bench}"
jobs="${BENCH_JOBS:-2}"

die() {
    echo "bench: $*" >&2
    exit 1
}
[[ "$points" =~ ^[0-9]+$ && "$points" -ge 1000 ]] || die "points must be a whole number of at least 1000"
[[ "$runs" =~ ^[0-9]+$ && "$runs" -ge 1 ]] || die "BENCH_RUNS must be at least 1"
mkdir -p "$bench_dir"
bench_dir="$(cd "$bench_dir" && pwd)"
case "$bench_dir/" in "$repo_root"/*) die "BENCH_DIR must lie outside the repository" ;; esac

if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    cmake -S "$repo_root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARO_BUILD_TESTS=OFF \
        > "$bench_dir/build.log" 2>&1 || die "configure failed (log: $bench_dir/build.log)"
fi
cmake --build "$build_dir" -j "$jobs" --target tessaro_unbounded tessaro_gensurvey tessaro_measure \
    tessaro_verify tessaro_laz_run_floor > "$bench_dir/build.log" 2>&1 ||
    die "build failed (log: $bench_dir/build.log)"
unbounded="$build_dir/src/driver/tessaro_unbounded"
measure="$build_dir/bench/tessaro_measure"
floor="$build_dir/bench/tessaro_laz_run_floor"
verify="$build_dir/tools/tessaro_verify"
processors="$(nproc)"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-16s %9s %9s %9s %8s %8s %8s %9s %9s %8s\n' variant "wall ${processors}p" "wall 1p" floor \
    "Mpts/s" "1p/floor" "1p/${processors}p" "peak MiB" "MB in" "cp"
for order in scan random; do
    survey="$bench_dir/laz-$order-$points"
    if [[ ! -f "$survey/survey.txt" ]]; then
        "$build_dir/tools/tessaro_gensurvey" --dir "$survey" --files 8 --points "$points" --order "$order" \
            --laz > /dev/null || die "cannot generate $survey"
    fi
    in_bytes="$(cat "$survey"/*.laz | wc -c)"
    # A plain copy of the same input bytes, for scale: the median of the runs.
    cps=()
    for ((k = 0; k < runs; ++k)); do
        rm -rf "$bench_dir/out" && mkdir -p "$bench_dir/out" && sync
        "$measure" -q -o "$bench_dir/m.txt" -- cp "$survey"/*.laz "$bench_dir/out/" || die "cp failed"
        read -r wall _ < "$bench_dir/m.txt"
        cps+=("$wall")
    done
    cp_wall="$(printf '%s\n' "${cps[@]}" | median)"
    for opts in "" "-b 10"; do
        name="$order${opts:+ $opts}"
        walls_all=() walls_one=() peaks=()
        for ((k = 0; k < runs; ++k)); do
            for cores in all one; do
                out="$bench_dir/out"
                rm -rf "$out" && mkdir -p "$out" && sync
                launch=()
                [[ "$cores" == one ]] && launch=(taskset -c 0)
                # shellcheck disable=SC2086
                (cd "$survey" && "$measure" -q -o "$bench_dir/m.txt" -- "${launch[@]}" "$unbounded" survey.txt \
                    "$out/T" 250 $opts) || die "the run of $name failed"
                read -r wall peak _ < "$bench_dir/m.txt"
                if [[ "$cores" == all ]]; then walls_all+=("$wall"); else walls_one+=("$wall"); fi
                peaks+=("$peak")
            done
        done
        # shellcheck disable=SC2086
        (cd "$survey" && "$verify" --unbounded survey.txt "$out/T" 250 $opts > /dev/null) ||
            die "tessaro_verify refuses the run of $name"
        # The floor is taken as often as the runs, and its median kept: one
        # measurement on a shared machine can be far off.
        floors=()
        for ((k = 0; k < runs; ++k)); do
            read -r d c n_in _ < <(cd "$survey" && "$floor" survey.txt "$out"/*.laz)
            floors+=("$(awk -v d="$d" -v c="$c" 'BEGIN { print d + c }')")
        done
        f="$(printf '%s\n' "${floors[@]}" | median)"
        wall_all="$(printf '%s\n' "${walls_all[@]}" | median)"
        wall_one="$(printf '%s\n' "${walls_one[@]}" | median)"
        peak="$(printf '%s\n' "${peaks[@]}" | sort -g | tail -1)"
        awk -v n="$name" -v a="$wall_all" -v o="$wall_one" -v f="$f" -v p="$n_in" -v m="$peak" \
            -v b="$in_bytes" -v cpw="$cp_wall" 'BEGIN {
                printf "%-16s %8.2fs %8.2fs %8.2fs %8.2f %8.2f %8.2f %9.1f %9.1f %7.2fs\n", n, a, o, f, p / a / 1e6,
                    o / f, o / a, m / 1024, b / 1e6, cpw }'
    done
done
rm -rf "$bench_dir/out"
echo "Targets: 1p/floor at most 1.3 (a run on one processor against the codec alone), ${processors}p at least 1.6 times faster than 1p on 2 processors."
