# shellcheck shell=bash
# Shell helpers shared by the set-up, demo and test scripts. Sourced, not run:
#   source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# Sets repo_root to the top of the repository.

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# A heading in the output of a script.
log() { printf '\n== %s\n' "$*"; }

# A line of a script's own, prefixed with the script's name.
note() { printf '%s: %s\n' "$(basename "$0" .sh)" "$*"; }

# Runs a command as root: directly when root already, else through sudo.
as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        note "need root (or sudo) to run: $*"
        exit 1
    fi
}

# True when the Debian package itself is installed, or when an installed
# package provides it (for example a nodejs build that ships its own npm).
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

# Installs those of the named Debian packages that are missing, without the
# packages they only recommend. apt-get runs (update, then install) only when
# something is missing.
install_missing_packages() {
    local missing=() name
    for name in "$@"; do
        package_present "$name" || missing+=("$name")
    done
    if [[ ${#missing[@]} -eq 0 ]]; then
        note "all Debian packages present"
        return
    fi
    note "installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 \
        install -y --no-install-recommends "${missing[@]}"
}

# A build directory made with another generator or from another source tree
# cannot be reconfigured; start it afresh.
reset_foreign_cache() {
    local dir="$1" cache="$1/CMakeCache.txt"
    [[ -f "$cache" ]] || return 0
    if ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache" ||
        ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$repo_root" "$cache"; then
        echo "Resetting $dir: it was configured with another generator or source tree"
        rm -rf "$cache" "$dir/CMakeFiles"
    fi
}
