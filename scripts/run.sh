#!/usr/bin/env bash
# Builds the program and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target quorvel-cli
exec ./build/default/apps/quorvel-cli/quorvel-cli "$@"
