#!/usr/bin/env bash
# check-layers.sh — fails when a lower layer includes a higher one.
#
# Layers, lowest first: platform; framework (and audiolib, which stands on
# platform alone); render; engine; game, music and setup; the programs, the
# generator, the cross-module tests, benchmarks and fuzz targets. The
# Direct3D path (render/d3d) draws for the engine's display control, which
# reaches it only through hooks the path installs, so it stands between the
# engine and the game. Code may include its own layer and the ones below it. Besides, the backends behind
# platform/backend/ are picked by the top layer, so only they, the top layer
# and test code name them.
#
# Test code (files whose name says test or fixture) is exempt from the order:
# a test may drive its module from above, as the programs do.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Known breaches, each with the reason it stands: "includer -> included".
allowed=(
)

# The sources git knows of, new ones included; outside a checkout, every one.
sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h' '*.cc' '*.hpp'
  else
    find . \( -path './build*' -prune \) -o \( -name '*.cpp' -o -name '*.h' -o -name '*.cc' \
      -o -name '*.hpp' \) -type f -printf '%P\0'
  fi
}

# grep answers 1 for a batch of files without includes: only awk decides.
{ sources | xargs -0 grep -snH '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' || true; } |
  awk -v allowed="$(printf '%s\n' "${allowed[@]}")" '
    function rank(path) {
      if (path ~ /^platform\//) return 0
      if (path ~ /^(framework|audiolib)\//) return 1
      if (path ~ /^render\/d3d\//) return 3.5
      if (path ~ /^render\//) return 2
      if (path ~ /^engine\//) return 3
      if (path ~ /^(game|music|setup)\//) return 4
      if (path ~ /^(programs|tools|tests|bench|fuzz)\//) return 5
      return -1
    }
    BEGIN {
      n = split(allowed, list, "\n")
      for (i = 1; i <= n; i++) if (list[i] != "") ok[list[i]] = 1
    }
    {
      split($0, part, ":")
      file = part[1]; line = part[2]
      target = $0; sub(/^[^"]*"/, "", target); sub(/".*$/, "", target)
      base = file; sub(/^.*\//, "", base)
      if (base ~ /test|fixture/) next
      from = rank(file); to = rank(target)
      if (from < 0 || to < 0) next
      why = ""
      if (to > from) why = "a lower layer includes a higher one"
      else if (target ~ /^platform\/backend\// && file !~ /^platform\/backend\// && from < 5)
        why = "only the programs pick a backend"
      if (why == "" || ((file " -> " target) in ok)) next
      print file ":" line ": includes " target ": " why > "/dev/stderr"
      failures++
    }
    END {
      if (failures) {
        print "check-layers: " failures " include(s) break the layer order" > "/dev/stderr"
        exit 1
      }
      print "check-layers: layer order holds"
    }'
