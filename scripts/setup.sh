#!/usr/bin/env bash
# Installs what Tessaro needs on Debian 12, for one of two uses:
#
#   demo  what scripts/demo.sh needs: the compiler, CMake, Ninja, pkg-config,
#         shapelib, PROJ, libgeotiff, GDAL's command-line tools and gnuplot. Nothing but
#         Debian's package archive is reached.
#   test  (the default) the demo set and what scripts/test.sh needs on top:
#         GoogleTest, clang with its libFuzzer runtime, clang-tidy, cppcheck,
#         time, node and npm, and the node modules of tests/interop (npm ci).
#
# Idempotent: every package is checked first, and apt-get runs (update, then
# install) only when something is missing. The node modules are installed
# only when they are not up to date with tests/interop/package-lock.json.
#
# Usage: scripts/setup.sh [demo|test]   (as root, or as a user with sudo)
set -euo pipefail

# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

demo_packages=(
    build-essential g++ cmake ninja-build pkg-config
    libshp-dev libproj-dev libgeotiff-dev proj-data gdal-bin gnuplot-nox
)
# libclang-rt-14-dev holds the libFuzzer runtime of the fuzz step; clang only
# recommends it.
test_packages=(
    "${demo_packages[@]}"
    libgtest-dev googletest clang libclang-rt-14-dev clang-tidy cppcheck time nodejs npm geotiff-bin
)

# Node modules of the interoperability tests, pinned by their lock file. A
# stamp with the lock file's checksum marks an install that is up to date.
install_node_modules() {
    local dir="$repo_root/tests/interop"
    local lock="$dir/package-lock.json"
    [[ -f "$lock" ]] || return 0
    local stamp="$dir/node_modules/.tessaro-lock.sha256"
    local sum
    sum="$(sha256sum "$lock" | cut -d' ' -f1)"
    if [[ -f "$stamp" && "$(cat "$stamp")" == "$sum" ]]; then
        note "tests/interop node modules up to date"
        return
    fi
    # Modules installed before this script kept its stamp: take them when npm
    # finds the installed tree complete and it is newer than the lock file.
    if [[ -f "$dir/node_modules/.package-lock.json" &&
        "$dir/node_modules/.package-lock.json" -nt "$lock" ]] &&
        (cd "$dir" && npm ls --all >/dev/null 2>&1); then
        printf '%s\n' "$sum" >"$stamp"
        note "tests/interop node modules up to date"
        return
    fi
    note "installing node modules in tests/interop"
    (cd "$dir" && npm ci --no-audit --no-fund)
    mkdir -p "$dir/node_modules"
    printf '%s\n' "$sum" >"$stamp"
}

case "${1:-test}" in
    demo)
        install_missing_packages "${demo_packages[@]}"
        ;;
    test)
        install_missing_packages "${test_packages[@]}"
        install_node_modules
        ;;
    *)
        echo "Usage: scripts/setup.sh [demo|test]" >&2
        exit 2
        ;;
esac
