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
  libvorbis-dev libopenmpt-dev libavformat-dev libavcodec-dev libswresample-dev
  fonts-liberation2 fonts-dejavu-core fonts-dejavu-extra
  xvfb xauth xdotool libx11-dev libpng-dev
  xfonts-base
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

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  # A bare server may have no sudo at all; say what to do instead of
  # failing with "command not found".
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Run this as root (or install sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
  SUDO="sudo"
fi
echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# Without a terminal dpkg's progress lines would flood the CI log.
$SUDO apt-get install -y -qq --no-install-recommends -o Dpkg::Use-Pty=0 "${missing[@]}"
