#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools they call need.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libxml2-dev libxml2-utils libcurl4-openssl-dev libssl-dev openssl
  libfmt-dev libcli11-dev libsqlite3-dev sqlite3 libpq-dev postgresql
  binutils srecord lpc21isp python3
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core xvfb xauth
  dpkg-dev file lintian desktop-file-utils appstream man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
