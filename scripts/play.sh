#!/usr/bin/env bash
# Installs what is missing, builds the game with its data folder and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" play
cd "$root/build/bin"
exec ./talgame "$@"
