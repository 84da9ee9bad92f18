#!/usr/bin/env bash
# Installs what is missing (scripts/setup.sh demo: no node, npm or clang
# tools), builds Tessaro (Release, build/), generates a sample survey with the
# project's own generator, cuts it into tiles with a buffer and the shapefile
# tile index, checks the tiles with tessaro_verify, and draws a PNG map of the
# tile grid coloured by points per tile with scripts/tile-map.sh.
#
# Usage: scripts/demo.sh
#
# Sizes and places can be changed through the environment:
#   DEMO_DIR      where the survey and the tiles go      (default: demo)
#   DEMO_FILES    number of flight-line strips           (default: 4)
#   DEMO_POINTS   points in all strips together          (default: 2000000)
#   DEMO_VERSION  LAS version 1.0, 1.1 or 1.2            (default: 1.2)
#   DEMO_FORMAT   point data record format 0 to 3        (default: 1)
#   DEMO_SEED     seed of the generator                  (default: 1)
#   DEMO_TILE     side of a tile                         (default: 250)
#   DEMO_BUFFER   tile buffer, 0 for none                (default: 10)
#   DEMO_RES      raster resolution to snap to, empty for none (default: none)
#   TESSARO_BUILD_DIR  build directory                   (default: build)
#   TESSARO_JOBS       parallel build jobs               (default: 2)
set -euo pipefail

# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

demo_dir="${DEMO_DIR:-demo}"
demo_files="${DEMO_FILES:-4}"
demo_points="${DEMO_POINTS:-2000000}"
demo_version="${DEMO_VERSION:-1.2}"
demo_format="${DEMO_FORMAT:-1}"
demo_seed="${DEMO_SEED:-1}"
tile_size="${DEMO_TILE:-250}"
tile_buffer="${DEMO_BUFFER:-10}"
resolution="${DEMO_RES:-}"
build_dir="${TESSARO_BUILD_DIR:-build}"
jobs="${TESSARO_JOBS:-2}"

log "Checking the required packages"
bash scripts/setup.sh demo

log "Building Tessaro (Release) in $build_dir"
reset_foreign_cache "$build_dir"
# A new build directory is configured without the tests, so that the demo
# needs no GoogleTest; one configured before keeps its choice.
tests_option=()
[[ -f "$build_dir/CMakeCache.txt" ]] || tests_option=(-DTESSARO_BUILD_TESTS=OFF)
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${tests_option[@]}"
cmake --build "$build_dir" --parallel "$jobs" --target tessaro tessaro_unbounded tessaro_gensurvey tessaro_verify

tessaro="$build_dir/src/driver/tessaro"
gensurvey="$build_dir/tools/tessaro_gensurvey"
verify="$build_dir/tools/tessaro_verify"

log "Generating a sample survey in $demo_dir ($demo_files strips, $demo_points points, LAS $demo_version format $demo_format)"
mkdir -p "$demo_dir"
# Clear the previous demo so that no stale strip or tile is left behind.
rm -rf "$demo_dir/tiles" "$demo_dir/map" "$demo_dir/tile_map.png"
rm -f "$demo_dir"/strip_*.las "$demo_dir/survey.txt"
"$gensurvey" --dir "$demo_dir" --list survey.txt --stem strip --files "$demo_files" \
    --points "$demo_points" --version "$demo_version" --format "$demo_format" --vlrs \
    --seed "$demo_seed"

log "Cutting the survey into tiles of $tile_size"
mkdir -p "$demo_dir/tiles"
args=("$demo_dir/survey.txt" "$demo_dir/tiles/T" "$tile_size")
if [[ -n "$resolution" ]]; then
    args+=(-r "$resolution")
fi
if [[ "$tile_buffer" != "0" ]]; then
    args+=(-b "$tile_buffer")
fi
args+=(-s)
echo "$tessaro ${args[*]}"
status=0
"$tessaro" "${args[@]}" || status=$?
if [[ $status -ne 0 ]]; then
    echo "tessaro failed with exit status $status" >&2
    exit "$status"
fi

shopt -s nullglob
tiles=("$demo_dir"/tiles/TR*.las)
shopt -u nullglob
if [[ ${#tiles[@]} -eq 0 ]]; then
    echo "tessaro reported success but wrote no tile file" >&2
    exit 1
fi
tiles_shp="$demo_dir/tiles/T_Tiles.shp"
if [[ ! -f "$tiles_shp" ]]; then
    echo "tessaro reported success but wrote no $tiles_shp" >&2
    exit 1
fi

log "Checking that every point landed in the right tiles"
verify_args=("$demo_dir/survey.txt" "$demo_dir/tiles/T" "$tile_size")
if [[ "$tile_buffer" != "0" ]]; then
    verify_args+=(-b "$tile_buffer")
fi
if [[ -n "$resolution" ]]; then
    verify_args+=(-r "$resolution")
fi
"$verify" "${verify_args[@]}"

log "Tile index as a GIS reads it"
ogrinfo -ro -so "$tiles_shp" T_Tiles

log "Drawing the tile map"
map_png="$(bash scripts/tile-map.sh "$demo_dir/tiles/T" "$demo_dir/tile_map.png")"

log "Done"
echo "Survey:        $demo_dir/survey.txt (${demo_files} LAS files in $demo_dir)"
echo "Tiles:         ${#tiles[@]} LAS files in $demo_dir/tiles/ (TR<row>C<col>.las, row 1 in the south, column 1 in the west)"
echo "Tile outlines: $tiles_shp (with .shx and .dbf), open it in a GIS"
if [[ -f "$demo_dir/tiles/T_Tiles_w_buffer.shp" ]]; then
    echo "With buffer:   $demo_dir/tiles/T_Tiles_w_buffer.shp"
fi
if [[ -f "$demo_dir/tiles/T_TileCoords.dbf" ]]; then
    echo "Tile corners:  $demo_dir/tiles/T_TileCoords.dbf"
fi
echo "Tile map:      $map_png (points per tile, map coordinates, tile names; scripts/tile-map.sh)"
echo "Programs:      $tessaro, $build_dir/src/driver/tessaro_unbounded, $verify"
echo "               (to call them by name: cmake --install $build_dir --prefix ~/.local, with ~/.local/bin on PATH)"
