#!/usr/bin/env bash
# Builds and runs the whole test suite: installs what is missing, then for each preset
# (default: the normal build and the ASan+UBSan build) configures, builds and runs ctest.
# Usage: scripts/test.sh [preset ...]
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

presets=("$@")
fuzz=0
if [ ${#presets[@]} -eq 0 ]; then
  presets=(default asan)
  fuzz=1
fi

for preset in "${presets[@]}"; do
  echo "=== preset ${preset} ==="
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "$(nproc)"
  ctest --preset "${preset}"
done

# a short run of every libFuzzer target
if [ "$fuzz" -eq 1 ]; then
  ./scripts/fuzz.sh "${QUORVEL_FUZZ_SECONDS:-20}"
fi
