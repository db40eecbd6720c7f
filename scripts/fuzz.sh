#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short time (default 20 s each).
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

./scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

shopt -s nullglob
targets=(build/fuzz/fuzz/quorvel_fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets"
  exit 0
fi
for t in "${targets[@]}"; do
  name="$(basename "$t")"
  corpus="build/fuzz/corpus/${name}"
  mkdir -p "$corpus"
  seeds="fuzz/corpus/${name#quorvel_fuzz_}"
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "=== ${name} (${seconds} s) ==="
  "$t" -max_total_time="${seconds}" -rss_limit_mb=4096 -print_final_stats=0 \
       -artifact_prefix="build/fuzz/${name}-" "${dirs[@]}" 2>&1 | tail -n 3
  # a crash makes libFuzzer exit non-zero, which set -e and pipefail turn into a failure
done
