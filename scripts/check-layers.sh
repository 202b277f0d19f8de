#!/usr/bin/env bash
# check-layers.sh — fails when a lower layer includes a higher one.
#
# Each top-level folder stands on one floor; the table below lists them,
# lowest first. Code may include its own floor and the ones below it.
# Besides, the backends behind platform/backend/ are picked by the top floor,
# so only they, the top floor and test code name them.
#
# Test code (files whose name says test or fixture) is exempt from the order:
# a test may drive its module from above, as the programs do.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The floors, lowest first, each with its folders and why it stands there.
floors=(
  "platform"                        # the operating system, SDL and the DirectX-shaped objects
  "framework audiolib"              # the application framework; the audio library, on platform alone
  "render"                          # the span renderer and blits the engine draws with
  "engine"                          # the engine's subsystems
  "direct3d"                        # the Direct3D path: draws for the engine's display control,
                                    # which reaches it only through the hooks the path installs
  "game music setup"                # the programs' own code
  "programs tools tests bench fuzz" # what picks the backend, generators, cross-module tests
)

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
  awk -v allowed="$(printf '%s\n' "${allowed[@]}")" -v floors="$(printf '%s\n' "${floors[@]}")" '
    function rank(path, top) {
      top = path; sub(/\/.*$/, "", top)
      return (top in floor) ? floor[top] : -1
    }
    BEGIN {
      n = split(allowed, list, "\n")
      for (i = 1; i <= n; i++) if (list[i] != "") ok[list[i]] = 1
      last = split(floors, level, "\n")
      while (last > 0 && level[last] == "") last--
      for (i = 1; i <= last; i++) {
        m = split(level[i], folders, " ")
        for (j = 1; j <= m; j++) floor[folders[j]] = i - 1
      }
      top = last - 1
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
      else if (target ~ /^platform\/backend\// && file !~ /^platform\/backend\// && from < top)
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
