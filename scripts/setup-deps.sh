#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, tests and plays with.
# Idempotent: packages that are already installed are skipped, and apt is
# not touched at all when nothing is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev llvm
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libfreetype-dev libfontconfig-dev libjpeg62-turbo-dev
  libmpg123-dev libmp3lame-dev libpixman-1-dev
  fonts-liberation2 fonts-dejavu-core fonts-dejavu-extra
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
