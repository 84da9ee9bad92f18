#!/usr/bin/env bash
# Static analysis of the sources (clang-tidy, cppcheck) over the
# compile_commands.json of a configured build directory. Exits non-zero on
# any finding.
#
# Usage: scripts/analyse.sh [build directory]   (default: build)
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:-build}"
cd "$repo_root"

if [[ ! -f "$build_dir/compile_commands.json" ]]; then
    echo "analyse: $build_dir/compile_commands.json not found; configure $build_dir first" >&2
    exit 1
fi

# The checks themselves are not in place yet.
echo "analyse: no static checks configured yet"
