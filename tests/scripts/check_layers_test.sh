#!/usr/bin/env bash
# scripts/check-layers: passes on the repository and on a small layered tree, fails on an
# include of a higher layer and on an include circle inside cd/, naming the files.
set -uo pipefail
root="$1"
check="$root/scripts/check-layers"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
failures=0
expect() {  # expect PASS|FAIL [TEXT...]: runs the check on the tree; each TEXT is in its output
  local out status want="$1"
  shift
  out="$("$check" "$tree" 2>&1)"
  status=$?
  if { [ "$want" = PASS ] && [ $status -ne 0 ]; } || { [ "$want" = FAIL ] && [ $status -ne 1 ]; }; then
    echo "expected $want, got exit $status: $out"
    failures=$((failures + 1))
  fi
  for text in "$@"; do
    grep -qF -- "$text" <<<"$out" || { echo "expected \"$text\" in: $out"; failures=$((failures + 1)); }
  done
}

"$check" "$root" >/dev/null 2>&1 || { echo "the repository's own layering fails"; failures=1; }

mkdir -p "$tree"/{diagnostics,platform/sync,cd,widgets}
echo '#pragma once' >"$tree/diagnostics/diagnostics.h"
printf '#include "diagnostics/diagnostics.h"\n#include <vector>\n' >"$tree/platform/sync/event.cpp"
printf '#include "cd/player_internal.h"\n#include "platform/sync/event.h"\n' >"$tree/cd/player.cpp"
printf '#include "cd/player.h"\n' >"$tree/cd/player_internal.h"
printf '#include "cd/player.h"\n' >"$tree/cd/cd_reader.cpp"
printf '#include "cd/cd_reader.h"\n#include "tests/support/x.h"\n' >"$tree/widgets/panel.cpp"
expect PASS

echo '#include "widgets/panel.h"' >>"$tree/platform/sync/event.cpp"
expect FAIL "platform/sync/event.cpp includes widgets/panel.h: widgets is above platform"
sed -i '$d' "$tree/platform/sync/event.cpp"
expect PASS

echo '#include "cd/cd_reader.h"' >>"$tree/cd/player.cpp"
expect FAIL "include circle: " "cd/cd_reader.cpp includes cd/player.h" \
  "cd/player.cpp includes cd/cd_reader.h"

[ $failures -eq 0 ] && echo "check-layers: all cases passed"
exit $((failures > 0))
