#!/usr/bin/env bash
# Draws the desktop program's windows against the simulator into PNG files under a virtual X
# display, to look at the program as a user would. Usage: scripts/screenshots.sh [OUTDIR]
# (default build/screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-build/screenshots}"
./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel_ui_screenshots
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
QUORVEL_HOME="$home" xvfb-run -a -s "-screen 0 1280x1024x24" \
  ./build/default/tests/ui/quorvel_ui_screenshots "$out"
