#!/usr/bin/env bash
# Installs what the viewer and kelmora-cli need, builds them, and opens the viewer
# on FILE.txd (default: the demo dictionary).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
kelmora_install_deps "${KELMORA_RUN_PACKAGES[@]}" || echo "Trying to build anyway." >&2
KELMORA_TARGETS="kelmora kelmora-cli" kelmora_build build
file=${1:-samples/demo.txd}
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/kelmora ]; then
  exec build/kelmora "$file"
fi
echo "No display available, so here is the texture list instead:"
build/cli/kelmora-cli list "$file"
echo
echo "To extract every texture (BMP with alpha companions) next to the dictionary:"
echo "  build/cli/kelmora-cli extract '$file'"
