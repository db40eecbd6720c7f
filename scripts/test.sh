#!/usr/bin/env bash
# Builds and runs the whole test suite: installs what is missing, then for each preset
# (default: the normal build and the ASan+UBSan build) configures, builds and runs ctest.
# The full run (no presets named) also packs and checks the Debian package from the normal
# build, runs ThreadSanitizer over the threaded layers and every fuzz target briefly.
# Usage: scripts/test.sh [preset ...]
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

presets=("$@")
full=0
if [ ${#presets[@]} -eq 0 ]; then
  presets=(default asan)
  full=1
fi

for preset in "${presets[@]}"; do
  echo "=== preset ${preset} ==="
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "$(nproc)"
  ctest --preset "${preset}"
done

# The Debian package, packed from the normal build above (nothing is built again).
if [ "$full" -eq 1 ]; then
  echo "=== Debian package ==="
  ./scripts/package.sh --check
fi

# ThreadSanitizer over the threaded layers (port, frame, command driver, terminal driver)
if [ "$full" -eq 1 ]; then
  echo "=== preset tsan (threaded layers) ==="
  cmake --preset tsan >/dev/null
  tsan_targets=()
  for layer in link driver; do
    for kind in unit pty; do
      [ -n "$(ls tests/${layer}/*Test.cpp 2>/dev/null)" ] && tsan_targets+=("quorvel_${layer}_${kind}_tests")
    done
  done
  cmake --build --preset tsan -j "$(nproc)" --target "${tsan_targets[@]}"
  for t in "${tsan_targets[@]}"; do
    exe="$(find build/tsan/tests -name "$t" -type f | head -n 1)"
    [ -n "$exe" ] || continue
    echo "--- $t"
    TSAN_OPTIONS="halt_on_error=1" "$exe" --gtest_brief=1
  done
fi

# a short run of every libFuzzer target
if [ "$full" -eq 1 ]; then
  ./scripts/fuzz.sh "${QUORVEL_FUZZ_SECONDS:-20}"
fi
