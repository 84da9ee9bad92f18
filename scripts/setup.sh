#!/usr/bin/env bash
# Installs what Tessaro needs to build, test and run its demo on Debian 12.
#
# Idempotent: every package is checked first, and apt-get runs (update, then
# install) only when something is missing. When tests/interop has a
# package-lock.json, its node modules are installed with `npm ci` unless they
# are already up to date with the lock file.
#
# Usage: scripts/setup.sh        (as root, or as a user with sudo)
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
    build-essential g++ cmake ninja-build pkg-config
    libshp-dev libgtest-dev googletest gdal-bin
    nodejs npm clang clang-tidy cppcheck time
)

log() { printf 'setup: %s\n' "$*"; }

# True when the package itself is installed, or when an installed package
# provides it (for example a nodejs build that ships its own npm).
package_present() {
    local name="$1" status provides
    status="$(dpkg -s "$name" 2>/dev/null || true)"
    if [[ $'\n'"$status"$'\n' == *$'\nStatus: install ok installed\n'* ]]; then
        return 0
    fi
    provides="$(dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null || true)"
    awk -F'|' -v want="$name" '
        $1 ~ /^ii/ {
            n = split($2, provided, /, */)
            for (k = 1; k <= n; k++) {
                sub(/ .*/, "", provided[k])
                if (provided[k] == want) found = 1
            }
        }
        END { exit found ? 0 : 1 }' <<<"$provides"
}

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        log "need root (or sudo) to run: $*"
        exit 1
    fi
}

install_packages() {
    local missing=() name
    for name in "${packages[@]}"; do
        package_present "$name" || missing+=("$name")
    done
    if [[ ${#missing[@]} -eq 0 ]]; then
        log "all Debian packages present"
        return
    fi
    log "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 \
        install -y --no-install-recommends "${missing[@]}"
}

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
        log "tests/interop node modules up to date"
        return
    fi
    # Modules installed before this script kept its stamp: take them when npm
    # finds the installed tree complete and it is newer than the lock file.
    if [[ -f "$dir/node_modules/.package-lock.json" &&
        "$dir/node_modules/.package-lock.json" -nt "$lock" ]] &&
        (cd "$dir" && npm ls --all >/dev/null 2>&1); then
        printf '%s\n' "$sum" >"$stamp"
        log "tests/interop node modules up to date"
        return
    fi
    log "installing node modules in tests/interop"
    (cd "$dir" && npm ci --no-audit --no-fund)
    mkdir -p "$dir/node_modules"
    printf '%s\n' "$sum" >"$stamp"
}

install_packages
install_node_modules
