#!/usr/bin/env bash
# Builds Tessaro for another processor and runs its test suite under qemu-user:
#   arm64  aarch64-linux-gnu, little-endian, char unsigned
#   s390x  s390x-linux-gnu, big-endian, char unsigned
#
# Installs what is missing: the cross compiler, qemu-user and debootstrap on
# the host, and a Debian root of the target processor with the libraries the
# build links (shapelib, GoogleTest, PROJ and what they need). The root is
# made with debootstrap (its packages unpacked, nothing in it is run) and is
# kept between runs; the cross compiler takes it as its sysroot and qemu as
# its -L prefix. Then it configures build-ARCH/ with
# cmake/toolchains/TRIPLET.cmake, builds, and runs the whole CTest suite under
# emulation: the tests start the programs of the build through qemu too.
#
# Usage: scripts/cross-test.sh arm64|s390x
#
# Environment:
#   TESSARO_SYSROOTS  where the Debian roots are kept (default /var/cache/tessaro/sysroots)
#   TESSARO_JOBS      parallel build and test jobs (default 2)
set -euo pipefail

# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

arch="${1:-}"
case "$arch" in
    arm64) triplet=aarch64-linux-gnu qemu=qemu-aarch64 ;;
    s390x) triplet=s390x-linux-gnu qemu=qemu-s390x ;;
    *)
        echo "Usage: scripts/cross-test.sh arm64|s390x" >&2
        exit 2
        ;;
esac
jobs="${TESSARO_JOBS:-2}"
build_dir="build-$arch"
sysroot="${TESSARO_SYSROOTS:-/var/cache/tessaro/sysroots}/$arch"

# What the build needs of the target: the development packages of its
# libraries; debootstrap adds their dependencies.
root_packages=libshp-dev,libgtest-dev,libproj-dev,libgeotiff-dev,libstdc++-12-dev

# The Debian root of the target, of the host's Debian release. A stamp names
# the release and packages it was made with; any other root is made anew.
make_sysroot() {
    local suite stamp want output
    suite="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
    stamp="$sysroot/.tessaro-sysroot"
    want="$suite $arch $root_packages"
    if [[ -f "$stamp" && "$(cat "$stamp")" == "$want" ]]; then
        note "Debian root of $arch in $sysroot"
        return
    fi
    log "making a Debian $suite root of $arch in $sysroot"
    as_root rm -rf "$sysroot"
    as_root mkdir -p "$sysroot"
    # --foreign unpacks the base system and downloads the rest without
    # running anything of the target; the rest is unpacked here, keeping the
    # root's /lib -> usr/lib links.
    output="$(mktemp)"
    as_root debootstrap --foreign --variant=minbase --arch="$arch" --include="$root_packages" \
        "$suite" "$sysroot" >"$output" 2>&1 || {
        tail -n 20 "$output" >&2
        exit 1
    }
    rm -f "$output"
    local deb
    for deb in "$sysroot"/var/cache/apt/archives/*.deb; do
        dpkg-deb --fsys-tarfile "$deb" | as_root tar -x --keep-directory-symlink -C "$sysroot"
    done
    as_root rm -f "$sysroot"/var/cache/apt/archives/*.deb
    printf '%s\n' "$want" | as_root tee "$stamp" >/dev/null
}

started=$SECONDS
step=$SECONDS
lap() {
    note "$arch: $1 took $((SECONDS - step)) s"
    step=$SECONDS
}

log "checking the host packages"
install_missing_packages "g++-$triplet" qemu-user debootstrap cmake ninja-build pkg-config
make_sysroot
lap "installing"

log "configuring and building $build_dir"
reset_foreign_cache "$build_dir"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARO_BUILD_TESTS=ON \
    -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/toolchains/$triplet.cmake" -DTESSARO_SYSROOT="$sysroot"
cmake --build "$build_dir" --parallel "$jobs"
lap "building"

log "running the whole suite under $qemu"
note "left out for $arch: the sanitizer build and the fuzz target, which need the host's"
note "sanitizer and libFuzzer run-times (scripts/test.sh runs them natively)"
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j "$jobs"
lap "testing"
note "$arch passed in $((SECONDS - started)) s; tessaro runs as: $qemu -L $sysroot $build_dir/src/driver/tessaro"
