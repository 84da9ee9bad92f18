#!/usr/bin/env bash
# Static analysis of the sources (clang-tidy, cppcheck) over the
# compile_commands.json of a configured build directory. Exits non-zero on
# any finding.
#
# Analysed: the product (src/), the tools (tools/), the benchmark (bench/),
# the hostile-input campaign (tests/campaign/) and the fuzz target (fuzz/).
# The GoogleTest programs and their helpers are checked by running them, and
# vendored code (third_party/) is not ours to analyse.
#
# clang-tidy takes its checks from .clang-tidy (bugprone, cert, performance,
# modernize, less the ones named there); cppcheck runs its warning,
# performance and portability checks.
#
# Usage: scripts/analyse.sh [build directory]   (default: build)
# Environment: TESSARO_JOBS  files analysed at a time (default 2)
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:-build}"
jobs="${TESSARO_JOBS:-2}"
cd "$repo_root"

if [[ ! -f "$build_dir/compile_commands.json" ]]; then
    echo "analyse: $build_dir/compile_commands.json not found; configure $build_dir first" >&2
    exit 1
fi
for tool in clang-tidy cppcheck; do
    if ! command -v "$tool" >/dev/null; then
        echo "analyse: $tool is not installed (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done

mapfile -t sources < <(find src tools bench tests/campaign -name '*.cpp' | sort)
report="$(mktemp)"
trap 'rm -f "$report"' EXIT

echo "analyse: clang-tidy over ${#sources[@]} files and fuzz/"
status=0
printf '%s\n' "${sources[@]}" |
    xargs -P "$jobs" -n 1 clang-tidy -p "$build_dir" --quiet --warnings-as-errors='*' >"$report" 2>&1 ||
    status=1
# The fuzz targets are built by fuzz/build_and_run.sh, not by CMake.
clang-tidy --quiet --warnings-as-errors='*' fuzz/*.cpp -- -std=c++20 -Isrc/las -Isrc/shapes -Isrc/tiling -Itools \
    >>"$report" 2>&1 || status=1
# clang-tidy tells how many warnings it suppressed in system headers; only
# findings count.
if [[ $status -ne 0 ]] || grep -qE '(warning|error):' "$report"; then
    grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^Use -system-headers' \
        "$report" >&2 || true
    echo "analyse: clang-tidy reports findings" >&2
    exit 1
fi

echo "analyse: cppcheck"
# cppcheck does not see [[noreturn]] on a declaration that also carries a GNU
# attribute (fail's printf format check), so the attributes are hidden from it.
checks=(--std=c++20 --enable=warning,performance,portability --inline-suppr --quiet
    --suppress=missingIncludeSystem --error-exitcode=1 "-D__attribute__(x)=")
run_cppcheck() {
    if ! cppcheck "${checks[@]}" "$@" >"$report" 2>&1 || [[ -s "$report" ]]; then
        cat "$report" >&2
        echo "analyse: cppcheck reports findings" >&2
        exit 1
    fi
}
ignored=(-i tests/support -i third_party)
for f in tests/*_test.cpp; do ignored+=(-i "$f"); done
run_cppcheck --project="$build_dir/compile_commands.json" "${ignored[@]}" -j "$jobs"
run_cppcheck -Isrc/las -Isrc/shapes -Isrc/tiling -Itools fuzz/*.cpp
echo "analyse: no findings"
