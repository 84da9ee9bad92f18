#!/usr/bin/env bash
# Regenerates docs/tile_map.png, the picture of the demo run that the README
# shows: runs scripts/demo.sh with its default sizes (into demo/) and copies
# the map it draws. The README's picture is therefore exactly what a newcomer
# gets from the demo.
#
# Usage: scripts/docs-map.sh
set -euo pipefail

# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

unset DEMO_DIR DEMO_FILES DEMO_POINTS DEMO_VERSION DEMO_FORMAT DEMO_SEED DEMO_TILE DEMO_BUFFER DEMO_RES
bash scripts/demo.sh
mkdir -p docs
cp demo/tile_map.png docs/tile_map.png
size="$(stat -c %s docs/tile_map.png)"
if ((size >= 200 * 1024)); then
    note "docs/tile_map.png is $size bytes, more than the 200 KiB the README's picture may take"
    exit 1
fi
note "docs/tile_map.png written ($size bytes)"
