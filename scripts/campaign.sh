#!/usr/bin/env bash
# The hostile-input campaign: thousands of mutants of valid surveys (damaged
# headers, boundary and non-finite field values, truncations, records far
# outside their bounds, odd lists and prefixes) run through tessaro, and of
# LAZ surveys (damaged besides in their LAZ record, chunk table and chunks)
# through tessaro_unbounded, each under a time limit. Fails on any run that
# ends with a status other than 0 or 255, prints no message on 255, raises a
# sanitizer report or a signal, hangs, changes an input, writes a stray file,
# leaves a tile being written (.part) or, in a LAZ run that ends with 255, a
# tile, or ends with 0 and fails the conservation check of its tiles.
#
# Usage: scripts/campaign.sh [options]
#   --build DIR     build directory whose tessaro, tessaro_unbounded and
#                   hostile_campaign run (default: build-asan, the sanitizer
#                   build)
#   --mutants N     number of mutants (default 20000)
#   --seed N        seed of the mutants (default 1; the CTest run uses 1)
#   --first N       index of the first mutant (default 0)
#   --jobs N        runs at a time (default 2)
#   --timeout S     time limit of one run in seconds (default 10)
#   --keep DIR      keep the directory of every failing mutant in DIR
#
# A failing mutant is repeated alone with its full output by
#   <build>/tests/campaign/hostile_campaign --seed S --only INDEX --keep DIR
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"

build_dir="build-asan"
args=()
mutants=20000
while [[ $# -gt 0 ]]; do
    case "$1" in
        --build) build_dir="$2"; shift 2 ;;
        --mutants) mutants="$2"; shift 2 ;;
        --seed | --first | --jobs | --timeout | --keep) args+=("$1" "$2"); shift 2 ;;
        -h | --help) sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "campaign: unknown option $1" >&2; exit 2 ;;
    esac
done

if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    echo "campaign: $build_dir is not a configured build directory" >&2
    echo "  e.g. cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_SANITIZE=ON" >&2
    exit 2
fi
if ! grep -q '^TESSARO_SANITIZE:BOOL=ON' "$build_dir/CMakeCache.txt"; then
    echo "campaign: note: $build_dir is not a sanitizer build; memory errors may go unseen" >&2
fi
cmake --build "$build_dir" --target tessaro tessaro_unbounded hostile_campaign --parallel 2

# Sanitizer reports are fatal and visible; the campaign adds
# allocator_may_return_null=1 so that an allocation the input makes
# impossible fails as it would without the sanitizer.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

exec "$build_dir/tests/campaign/hostile_campaign" --tessaro "$build_dir/src/driver/tessaro" \
    --unbounded "$build_dir/src/driver/tessaro_unbounded" \
    --mutants "$mutants" "${args[@]}"
