#!/usr/bin/env bash
# Runs the windowed program on the X server that xvfb-run gave us and drives its panel with
# real X input. Steps (one argument each):
#   "click X Y"            left click at window pixel X,Y
#   "drag X1 Y1 X2 Y2"     press at X1,Y1, move to X2,Y2, release
#   "key KEYS"             X key presses (xdotool key names, "+" separated: "Down+Down+Return")
#   "mark NAME"            append "NAME <bytes the card has written>" to WORKDIR/marks.txt
#   "wait SECONDS"         wait until the card has written that much sound since the last mark
#                          (16-bit stereo at 44,100 Hz: 176,400 bytes a second)
#   "shot NAME"            screenshot of the screen into WORKDIR/NAME.png; "NAME T0 T1" goes to
#                          WORKDIR/shots.txt, the wall clock (microseconds) before and after it
#   "waitlog TEXT"         wait until the program's output holds TEXT (blanks allowed)
#   "icon NAME"            the main window's _NET_WM_ICON as xprop prints it, into WORKDIR/NAME.txt
# Then Esc ends the program; its exit status is handed back (91: the X server never took
# connections).
# Usage: drive_panel.sh PROGRAM WORKDIR STEP...
set -u
program=$1 work=$2
shift 2
out="$work/out.wav"
log="$work/program.log"
export SORN_CONFIG_DIR="$work/config" XDG_DATA_HOME="$work/data" SORN_AUDIO=sim
export SORN_SIM_OUTPUT="$out" SORN_SIM_PACING=realtime
# The X server xvfb-run started must take connections first; status 91 says it never did.
for _ in $(seq 200); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.05
done
xdotool getdisplaygeometry >/dev/null 2>&1 || { echo "drive_panel: no X server at $DISPLAY" >&2; exit 91; }
"$program" >"$log" 2>&1 &
pid=$!

wait_for() {
  for _ in $(seq "$2"); do
    eval "$1" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}
fail() {
  echo "drive_panel: $1" >&2
  cat "$log" >&2
  kill "$pid" 2>/dev/null
  exit 90
}
bytes() { stat -c %s "$out" 2>/dev/null || echo 0; }

window=""
wait_for 'window=$(xdotool search --onlyvisible --name "^Sorn Karaoke$" 2>/dev/null | head -1); [ -n "$window" ]' 300 ||
  fail "the main window did not appear"
wait_for 'grep -q "^LoadCdInformation: disc" "$log"' 300 || fail "no disc scanned"
xdotool key shift  # ends the splash
wait_for '[ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ]' 100 ||
  fail "the keyboard did not come back to the main window after the splash"

last=0
for step in "$@"; do
  set -- $step
  case $1 in
    click) xdotool mousemove --window "$window" "$2" "$3" click 1 ;;
    drag)
      xdotool mousemove --window "$window" "$2" "$3" mousedown 1
      sleep 0.1
      xdotool mousemove --window "$window" "$4" "$5"
      sleep 0.1
      xdotool mouseup 1
      ;;
    key) xdotool key --delay 80 $(echo "$2" | tr '+' ' ') ;;
    mark)
      last=$(bytes)
      echo "$2 $last" >>"$work/marks.txt"
      ;;
    wait)
      want=$(awk -v b="$last" -v s="$2" 'BEGIN { printf "%d", b + s * 176400 }')
      wait_for '[ "$(bytes)" -ge "$want" ]' 600 || fail "the card stopped writing sound ($step)"
      ;;
    shot)
      before=$(date +%s%6N)
      import -window root "$work/$2.png" || fail "no screenshot"
      echo "$2 $before $(date +%s%6N)" >>"$work/shots.txt"
      ;;
    waitlog)
      text=${step#waitlog }
      wait_for 'grep -qF -- "$text" "$log"' 600 || fail "no '$text' in the program's output"
      ;;
    icon) xprop -id "$window" _NET_WM_ICON >"$work/$2.txt" || fail "no window properties" ;;
    *) fail "unknown step '$step'" ;;
  esac
done
xdotool key Escape
wait "$pid"
status=$?
cat "$log" >&2
exit "$status"
