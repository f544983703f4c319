#!/usr/bin/env bash
# Runs the windowed program under the X server that xvfb-run gave us and drives it with real X
# input: ends the splash with a key, waits for the demo disc's titles, presses Space to play,
# waits until the simulated card has written OUT_MIN_BYTES of sound, presses Esc and hands
# back the program's exit status. Usage: drive_window.sh PROGRAM WORKDIR OUT_MIN_BYTES
set -u
program=$1 work=$2 min_bytes=$3
out="$work/out.wav"
log="$work/program.log"
export SORN_CONFIG_DIR="$work/config" XDG_DATA_HOME="$work/data" SORN_AUDIO=sim
export SORN_SIM_OUTPUT="$out" SORN_SIM_PACING=realtime
"$program" >"$log" 2>&1 &
pid=$!

# Waits up to $2 tenths of a second for the command $1 to succeed.
wait_for() {
  for _ in $(seq "$2"); do
    eval "$1" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

fail() {
  echo "drive_window: $1" >&2
  cat "$log" >&2
  kill "$pid" 2>/dev/null
  exit 90
}

window=""
wait_for 'window=$(xdotool search --onlyvisible --name "^Sorn Karaoke$" 2>/dev/null | head -1); [ -n "$window" ]' 150 ||
  fail "the main window did not appear"
# The player has scanned the disc (the key below is handled after the scan).
wait_for 'grep -q "^LoadCdInformation: disc" "$log"' 150 || fail "no disc scanned"
# Any key ends the splash; the keyboard then goes back to the main window.
xdotool key shift
wait_for '[ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]' 50 ||
  fail "the keyboard did not come back to the main window after the splash"
xdotool key space
wait_for '[ "$(stat -c %s "$out" 2>/dev/null || echo 0)" -ge "$min_bytes" ]' 300 ||
  fail "the card wrote no sound after Space"
xdotool key Escape
wait "$pid"
status=$?
cat "$log" >&2
exit "$status"
