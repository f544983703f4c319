#!/usr/bin/env bash
# cmake --install: the programs, the demo disc, the desktop entry and the icons land under the
# prefix, and the installed program, with no drive, finds the demo disc installed with it.
set -uo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "$1"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "cmake --install failed"; exit 1; }
for file in bin/sorn-karaoke bin/sorn-karaoke-cli \
  share/sorn-karaoke/demo/demo.cue share/sorn-karaoke/demo/demo.bin \
  share/sorn-karaoke/demo/demo.sub share/applications/sorn-karaoke.desktop \
  share/icons/hicolor/16x16/apps/sorn-karaoke.png share/icons/hicolor/32x32/apps/sorn-karaoke.png \
  share/icons/hicolor/64x64/apps/sorn-karaoke.png; do
  [ -s "$prefix/$file" ] || fail "not installed: $file"
done
ls "$prefix/share/sorn-karaoke/demo/"*.txt >/dev/null 2>&1 || fail "no CD information file beside the demo disc"
# Only the disc: nothing a run left in the build's demo folder.
extra="$(ls "$prefix/share/sorn-karaoke/demo" | grep -v -e '^demo\.\(cue\|bin\|sub\)$' -e '\.txt$')"
[ -z "$extra" ] || fail "more than the demo disc installed: $extra"
for size in 16 32 64; do
  got="$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${size}x${size}/apps/sorn-karaoke.png" 2>&1)"
  [ "$got" = "${size}x${size}" ] || fail "icon ${size}x${size} is $got"
done
grep -qx 'Exec=sorn-karaoke' "$prefix/share/applications/sorn-karaoke.desktop" || fail "desktop entry runs something else"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/sorn-karaoke.desktop" || fail "desktop entry invalid"
fi

# Without a drive, the installed program's one drive is the installed demo disc.
out="$(cd / && env -u SORN_DRIVES -u SORN_DEMO_DISC "$prefix/bin/sorn-karaoke-cli" drives 2>&1)"
grep -qF "drive 0 (selected): $prefix/share/sorn-karaoke/demo/demo.cue" <<<"$out" ||
  fail "the installed program does not use the installed demo disc: $out"
grep -qF "disc: 3 tracks" <<<"$out" || fail "the installed demo disc is not read: $out"

[ $failures -eq 0 ] && echo "install: all checks passed"
exit $((failures > 0))
