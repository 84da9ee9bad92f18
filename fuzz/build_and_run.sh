#!/usr/bin/env bash
# Builds the libFuzzer target over the LAS header readers and file validation
# (fuzz/las_header_fuzz.cpp: check_las, check_las_layout, read_las_header,
# header_from_bytes / header_to_bytes, the coordinate system records) with clang++ and
# -fsanitize=fuzzer,address,undefined, seeds its corpus with files of every
# LAS version and point format from the project's survey generator, and runs
# it. Not part of the CMake build. Exits non-zero when the fuzzer finds a
# crash, a sanitizer report or a broken invariant; the input that caused it
# is left in the work directory (crash-*).
#
# Usage: fuzz/build_and_run.sh [seconds] [work directory]
#   seconds          how long to fuzz (default 60; 0 builds and seeds only)
#   work directory   build products, corpus and findings (default build-fuzz)
# Environment: FUZZ_JOBS parallel fuzzing processes (default 1),
#              CXX the clang++ to use (default clang++).
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"
seconds="${1:-60}"
work="${2:-build-fuzz}"
cxx="${CXX:-clang++}"
jobs="${FUZZ_JOBS:-1}"
mkdir -p "$work/corpus" "$work/seeds"
work="$(cd "$work" && pwd)"

las_sources=(src/las/console.cpp src/las/crs_records.cpp src/las/las_records.cpp src/las/lidar.cpp)
common=(-std=c++20 -g -O1 -Wall -Wextra -ffp-contract=off -Isrc/las -Itools)

echo "fuzz: building the target"
"$cxx" "${common[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    fuzz/las_header_fuzz.cpp "${las_sources[@]}" -o "$work/las_header_fuzz"

echo "fuzz: building the seed generator"
# The generator lays tiled surveys with the tiler's grid.
"$cxx" "${common[@]}" -Isrc/tiling tools/gensurvey.cpp tools/survey_writer.cpp src/tiling/tile_grid.cpp \
    "${las_sources[@]}" -o "$work/gensurvey"

# Seeds: small files of every version and point format, with and without
# VLRs, and the list file itself (not a LAS file at all).
for version in 1.0 1.1 1.2; do
    for format in 0 1 2 3; do
        for vlrs in "" --vlrs; do
            dir="$work/seeds/$version-$format$vlrs"
            "$work/gensurvey" --dir "$dir" --files 1 --points 6 --version "$version" --format "$format" \
                $vlrs --width 50 --height 50 >/dev/null
            cp "$dir/strip_01.las" "$work/corpus/seed-$version-$format${vlrs:+-vlrs}.las"
        done
    done
done
cp "$work/seeds/1.2-1/survey.txt" "$work/corpus/seed-list.txt"

[[ "$seconds" == "0" ]] && exit 0
echo "fuzz: running for $seconds s"
cd "$work"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Every input is written to a file for the checks to open; memory-backed
# storage keeps that quick.
if [[ -z "${TMPDIR:-}" ]]; then
    if [[ -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; else export TMPDIR=/tmp; fi
fi
args=(-max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
if [[ "$jobs" -gt 1 ]]; then args+=(-fork="$jobs"); fi
./las_header_fuzz "${args[@]}" corpus
