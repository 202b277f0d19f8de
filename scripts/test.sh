#!/usr/bin/env bash
# Checks that no layer includes a higher one, installs what is missing,
# builds the sanitizer tree and runs every test, then each fuzz target
# briefly on its seed corpus. Any failure or sanitizer
# report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/check-layers.sh"
"$root/scripts/build.sh" test
dir="$root/build-test"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Tests run headless on the virtual clock; the few that drive the real SDL
# backend start their own virtual X server.
export SDL_AUDIODRIVER=dummy

ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600

fuzz_seconds=${TAL_FUZZ_SECONDS:-20}
for fuzzer in "$dir"/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "== $name for ${fuzz_seconds}s"
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=0 -artifact_prefix="$work.artifact-" "$work" >"$work.log" 2>&1 || {
    tail -50 "$work.log"; echo "fuzzer $name failed" >&2; exit 1; }
  rm -rf "$work" "$work.log"
done
echo "all tests and fuzz runs passed"
