#!/usr/bin/env bash
# scripts/check-setup: passes with setup's own list; with a package the build needs taken out
# of the list it fails and names that package.
set -uo pipefail
root="$1"
build="$2"
copy="$(mktemp)"
trap 'rm -f "$copy"' EXIT
failures=0

out="$("$root/scripts/check-setup" --build "$build" 2>&1)" ||
  { echo "setup's own list fails: $out"; failures=$((failures + 1)); }

# The Qt OpenGL CMake files (which UiTools needs) and the ALSA headers.
for package in libqt6opengl6-dev libasound2-dev; do
  sed -E "/^packages=\(/,/^\)/ s/(^|[[:space:]])$package([[:space:]]|$)/\1\2/" \
    "$root/scripts/setup" >"$copy"
  if grep -qw -- "$package" "$copy"; then
    echo "$package could not be taken out of the list"
    failures=$((failures + 1))
    continue
  fi
  out="$("$root/scripts/check-setup" --build "$build" --setup "$copy" 2>&1)"
  status=$?
  if [ $status -ne 1 ] || ! grep -q "^  $package (e.g. /" <<<"$out"; then
    echo "without $package: exit $status, output: $out"
    failures=$((failures + 1))
  fi
done
[ $failures -eq 0 ] && echo "check-setup: all cases passed"
exit $((failures > 0))
