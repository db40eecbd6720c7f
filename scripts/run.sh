#!/usr/bin/env bash
# Builds the program and starts it: without arguments "quorvel-cli --simulator status" (the
# built-in simulated terminal); arguments go to quorvel-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel-cli
if [ "$#" -eq 0 ]; then
  set -- --simulator status
fi
exec ./build/default/apps/quorvel-cli/quorvel-cli "$@"
