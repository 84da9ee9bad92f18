#!/usr/bin/env bash
# Builds the three libFuzzer targets with clang++ and
# -fsanitize=fuzzer,address,undefined, seeds their corpora and runs them one
# after the other, each for a third of the time:
#  - fuzz/las_header_fuzz.cpp, the LAS header readers and file validation
#    (check_las, check_las_layout, read_las_header, header_from_bytes /
#    header_to_bytes, the coordinate system records), seeded with files of
#    every LAS version and point format from the project's survey generator
#    (corpus/);
#  - fuzz/geokey_prj_fuzz.cpp, the coordinate system records through
#    libgeotiff and PROJ to the text of the .prj, seeded by
#    fuzz/geokey_seeds.cpp (geokey-corpus/);
#  - fuzz/laz_input_fuzz.cpp, a LAZ input as tessaro_unbounded takes it (its
#    header, LAZ record and chunk table checked, every chunk decoded through
#    src/las/laz_codec.cpp and the vendored laz-perf, both instrumented),
#    seeded with small LAZ files of the survey generator by
#    fuzz/laz_seeds.cpp (laz-corpus/).
# Not part of the CMake build. Exits non-zero when a fuzzer finds a crash, a
# sanitizer report or a broken invariant; the input that caused it is left
# in the work directory (crash-*).
#
# Usage: fuzz/build_and_run.sh [seconds] [work directory]
#   seconds          how long to fuzz all three (default 60; 0 builds and seeds only)
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
mkdir -p "$work/corpus" "$work/seeds" "$work/geokey-corpus" "$work/laz-corpus" "$work/laz-objects"
work="$(cd "$work" && pwd)"

las_sources=(src/las/console.cpp src/las/crs_records.cpp src/las/las_records.cpp src/las/lidar.cpp)
common=(-std=c++20 -g -O1 -Wall -Wextra -ffp-contract=off -Isrc/las -Itools)

echo "fuzz: building the targets"
"$cxx" "${common[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    fuzz/las_header_fuzz.cpp "${las_sources[@]}" -o "$work/las_header_fuzz"
# PROJ and libgeotiff are the system's, built without the sanitizers.
shapes_sources=(src/shapes/projection_file.cpp src/shapes/geokey_crs.cpp)
"$cxx" "${common[@]}" -Isrc/shapes $(pkg-config --cflags proj) -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=all fuzz/geokey_prj_fuzz.cpp "${shapes_sources[@]}" "${las_sources[@]}" \
    $(pkg-config --libs proj) -lgeotiff -o "$work/geokey_prj_fuzz"
"$cxx" "${common[@]}" fuzz/geokey_seeds.cpp -o "$work/geokey_seeds"

# The LAZ target: our LAS and LAZ input code, the distribution's chunk
# reading and the vendored codec, compiled (two files at a time) with the
# fuzzer's coverage and the sanitizers into one archive. The codec and our
# module that drives it rely on 32-bit differences wrapping around, as in the
# CMake build (-fwrapv); the vendored sources compile without warnings shown
# and with NDEBUG, as every CMake build type the project uses compiles them:
# the codec asserts that a raw value read from the coded stream is in range,
# which a corrupt chunk can fail; without the assertion the value is only
# wrong, as any value read from corrupt bytes, and the decoder stays sound.
laz_flags=(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
laz_includes=(-Isrc/tiling -isystem third_party/laz-perf -DLAZPERF_VENDORED)
laz_sources=("${las_sources[@]}" src/las/evlr_records.cpp src/las/laz_input.cpp src/las/list_file.cpp
    src/las/listed_files.cpp src/las/list_survey.cpp src/tiling/codec_pool.cpp src/tiling/record_blocks.cpp)
lazperf_sources=(third_party/laz-perf/lazperf/*.cpp third_party/laz-perf/lazperf/detail/*.cpp)
objects="$work/laz-objects"
rm -f "$objects"/*.o "$work/libtessaro_laz.a"
compile() {  # flags... -- sources...
    local flags=()
    while [[ "$1" != "--" ]]; do flags+=("$1"); shift; done
    shift
    printf '%s\n' "$@" | xargs -P 2 -I{} sh -c 'o="$0/$(echo "$1" | tr / _).o"; shift; exec "$@" -o "$o"' \
        "$objects" {} "$cxx" "${flags[@]}" -c {}
}
compile "${common[@]}" "${laz_includes[@]}" "${laz_flags[@]}" -- "${laz_sources[@]}"
compile "${common[@]}" "${laz_includes[@]}" "${laz_flags[@]}" -fwrapv -- src/las/laz_codec.cpp
compile -std=c++20 -g -O1 -w -DNDEBUG -fwrapv -ffp-contract=off -fno-fast-math "${laz_includes[@]}" \
    "${laz_flags[@]}" -- "${lazperf_sources[@]}"
ar rcs "$work/libtessaro_laz.a" "$objects"/*.o
"$cxx" "${common[@]}" "${laz_includes[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    fuzz/laz_input_fuzz.cpp "$work/libtessaro_laz.a" -pthread -o "$work/laz_input_fuzz"

echo "fuzz: building the seed generators"
# The survey generator writes LAZ files through the codec too, and lays
# tiled surveys with the tiler's grid; it links the sanitized archive.
writer=(tools/survey_writer.cpp tools/laz_writer.cpp src/tiling/tile_grid.cpp "$work/libtessaro_laz.a" -pthread)
"$cxx" "${common[@]}" "${laz_includes[@]}" -fsanitize=address,undefined tools/gensurvey.cpp "${writer[@]}" \
    -o "$work/gensurvey"
"$cxx" "${common[@]}" "${laz_includes[@]}" -fsanitize=address,undefined fuzz/laz_seeds.cpp "${writer[@]}" \
    -o "$work/laz_seeds"

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
"$work/geokey_seeds" "$work/geokey-corpus"
"$work/laz_seeds" "$work/laz-corpus"

[[ "$seconds" == "0" ]] && exit 0
# Each target takes a third of the time, at least one second (libFuzzer
# reads a time of 0 as no limit).
geokey_seconds=$((seconds / 3 > 0 ? seconds / 3 : 1))
laz_seconds=$geokey_seconds
las_seconds=$((seconds - 2 * geokey_seconds > 0 ? seconds - 2 * geokey_seconds : 1))
cd "$work"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Every input is written to a file for the checks to open; memory-backed
# storage keeps that quick.
if [[ -z "${TMPDIR:-}" ]]; then
    if [[ -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; else export TMPDIR=/tmp; fi
fi
args=(-max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
if [[ "$jobs" -gt 1 ]]; then args+=(-fork="$jobs"); fi
echo "fuzz: las_header_fuzz for $las_seconds s"
./las_header_fuzz -max_total_time="$las_seconds" "${args[@]}" corpus
echo "fuzz: geokey_prj_fuzz for $geokey_seconds s"
./geokey_prj_fuzz -max_total_time="$geokey_seconds" "${args[@]}" geokey-corpus
echo "fuzz: laz_input_fuzz for $laz_seconds s"
./laz_input_fuzz -max_total_time="$laz_seconds" "${args[@]}" laz-corpus
echo "fuzz: corpus of las_header_fuzz $(find corpus -type f | wc -l) inputs," \
    "of geokey_prj_fuzz $(find geokey-corpus -type f | wc -l) inputs," \
    "of laz_input_fuzz $(find laz-corpus -type f | wc -l) inputs"
