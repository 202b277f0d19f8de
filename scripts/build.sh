#!/usr/bin/env bash
# build.sh <play|test> — installs what is missing, configures and builds one of
# the two build trees: build/ (optimised, to play) or build-test/ (clang with
# AddressSanitizer, UndefinedBehaviorSanitizer, warnings as errors, fuzzers).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"

jobs=$(nproc)
case "${1:-play}" in
  play)
    dir="$root/build"
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAL_TESTS=OFF -DTAL_BENCH=OFF >/dev/null
    ;;
  test)
    dir="$root/build-test"
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DTAL_WERROR=ON -DTAL_SANITIZE=ON -DTAL_FUZZ=ON -DTAL_BENCH=ON >/dev/null
    ;;
  *) echo "usage: $0 play|test" >&2; exit 2 ;;
esac
cmake --build "$dir" -j "$jobs"
