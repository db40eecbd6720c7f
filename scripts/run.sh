#!/usr/bin/env bash
# Builds the programs and starts one on the built-in simulated terminal: the desktop program
# "quorvel --simulator" when a display is there, else "quorvel-cli --simulator status" (and how
# to start the window). Arguments go to quorvel-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel-cli quorvel
if [ "$#" -gt 0 ]; then
  exec ./build/default/apps/quorvel-cli/quorvel-cli "$@"
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/default/apps/quorvel/quorvel --simulator
fi
./build/default/apps/quorvel-cli/quorvel-cli --simulator status
echo
echo "No display here: the desktop program starts with ./build/default/apps/quorvel/quorvel --simulator"
echo "on a desktop (or under Xvfb: xvfb-run -a ./build/default/apps/quorvel/quorvel --simulator)."
