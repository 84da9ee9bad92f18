#!/usr/bin/env bash
# Tries the set-up as a newcomer would, on a fresh minimal Debian 12: a root
# made by `debootstrap --variant=minbase bookworm`, this repository's
# committed state cloned into its /root/project (with /root of mode 700), and
# in a chroot there, as root:
#   demo  scripts/demo.sh with the npm registry unreachable; afterwards no
#         node or npm may be installed;
#   ci    .ci/run (CI=true), the whole test suite.
# Each step's time, status and the number of Debian packages it installed are
# printed at the end; its output goes to DIR-logs/STEP.log.
#
# The first run bootstraps the root once and keeps a pristine copy of it in
# DIR.pristine.tar; every run lays DIR afresh from that copy, so the steps
# always start from a machine that has nothing else installed.
#
# Usage: scripts/fresh-root.sh DIR [STEP...]   (as root; steps default: demo ci)
#   DIR   where the root goes, outside the repository (for example /work/fresh)
#
# Environment:
#   FRESH_MIRROR  Debian mirror for debootstrap (default http://deb.debian.org/debian)
#   Proxy variables (http_proxy, https_proxy, no_proxy) and NODE_EXTRA_CA_CERTS
#   are handed into the root, the CA bundle with them, so that npm reaches its
#   registry from there as it does from here.
set -euo pipefail

# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [[ $# -lt 1 || "$1" == -h || "$1" == --help ]]; then
    sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi
[[ $(id -u) -eq 0 ]] || { note "must run as root (debootstrap, chroot, mounts)"; exit 1; }
root="$(realpath -m "$1")"
shift
steps=("$@")
[[ ${#steps[@]} -gt 0 ]] || steps=(demo ci)
for step in "${steps[@]}"; do
    [[ "$step" == demo || "$step" == ci ]] || { note "unknown step $step (demo or ci)"; exit 2; }
done
case "$root/" in
    / | "$repo_root"/*) note "DIR must lie outside the repository"; exit 2 ;;
esac
pristine="$root.pristine.tar"
logs="$root-logs"
mirror="${FRESH_MIRROR:-http://deb.debian.org/debian}"

# Mounts at or under the root, deepest first.
mounts_below() {
    awk -v root="$root" '$5 == root || index($5, root "/") == 1 { print $5 }' /proc/self/mountinfo |
        sort -r
}
unmount_all() {
    local m
    for m in $(mounts_below); do
        umount -l "$m" || true
    done
}
trap unmount_all EXIT

# Removes the root, never crossing into a mount: every mount under it is
# taken away first, and rm stays on the root's own file system.
remove_root() {
    unmount_all
    if [[ -n "$(mounts_below)" ]]; then
        note "mounts remain under $root; not removing it"
        exit 1
    fi
    rm -rf --one-file-system "$root"
}

install_missing_packages debootstrap git
if [[ ! -f "$pristine" ]]; then
    log "Bootstrapping a minimal Debian 12 in $root (kept as $pristine)"
    [[ -e "$root" ]] && remove_root
    debootstrap --variant=minbase bookworm "$root" "$mirror"
    tar -C "$root" -cf "$pristine.part" . && mv "$pristine.part" "$pristine"
fi

log "Laying $root afresh from $pristine"
[[ -e "$root" ]] && remove_root
mkdir -p "$root"
tar -C "$root" -xpf "$pristine"
git clone --quiet --no-local "$repo_root" "$root/root/project"
chmod 700 "$root/root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
handed=()
for name in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
    [[ -n "${!name:-}" ]] && handed+=("$name=${!name}")
done
if [[ -n "${NODE_EXTRA_CA_CERTS:-}" && -f "$NODE_EXTRA_CA_CERTS" ]]; then
    mkdir -p "$root/usr/local/share/tessaro-fresh"
    cp "$NODE_EXTRA_CA_CERTS" "$root/usr/local/share/tessaro-fresh/ca.crt"
    handed+=("NODE_EXTRA_CA_CERTS=/usr/local/share/tessaro-fresh/ca.crt")
fi
for fs in proc sys dev; do
    mount --rbind "/$fs" "$root/$fs"
    mount --make-rslave "$root/$fs"
done

# Runs a command in the root as a fresh login of root would, in the project.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 TERM="${TERM:-dumb}" "${handed[@]}" "$@"
}
# shellcheck disable=SC2016 # dpkg-query formats, not shell expansions
packages_installed() {
    in_root dpkg-query -W -f='${db:Status-Abbrev}\n' | grep -c '^ii'
}

mkdir -p "$logs"
summary=()
failed=0
for step in "${steps[@]}"; do
    case "$step" in
        demo) command=(env npm_config_registry=http://127.0.0.1:9/ bash scripts/demo.sh) ;;
        ci) command=(env CI=true bash .ci/run) ;;
    esac
    log "Step $step: ${command[*]} (output in $logs/$step.log)"
    before="$(packages_installed)"
    start=$SECONDS
    status=0
    in_root /bin/bash -c 'cd /root/project && "$@" </dev/null' step "${command[@]}" >"$logs/$step.log" 2>&1 ||
        status=$?
    seconds=$((SECONDS - start))
    after="$(packages_installed)"
    tail -n 15 "$logs/$step.log"
    line="$step: status $status, $((seconds / 60)) min $((seconds % 60)) s, $((after - before)) packages installed ($before before, $after after)"
    if [[ "$step" == demo ]]; then
        # shellcheck disable=SC2016
        if in_root dpkg-query -W -f='${db:Status-Abbrev}\n' nodejs npm 2>/dev/null | grep -q '^ii' ||
            in_root sh -c 'command -v node || command -v npm' >/dev/null; then
            line+=", node or npm INSTALLED"
            status=1
        else
            line+=", no node or npm"
        fi
    fi
    summary+=("$line")
    [[ $status -eq 0 ]] || failed=1
done

log "Summary ($root)"
printf '%s\n' "${summary[@]}"
exit "$failed"
