#!/usr/bin/env bash
# The real window under a real window manager: in the Open dialog a name typed
# with completion and Return opens the file, and no completion popup stays on
# screen after it, nor after a dialog closed with Escape; a file dragged from
# another program and dropped on the window opens. Needs an X display in KELMORA_TEST_DISPLAY
# and openbox; without them the test is skipped (status 77).
# Usage: open_dialog.sh VIEWER DICTIONARY DRAG_SOURCE
set -euo pipefail
[ -n "${KELMORA_TEST_DISPLAY:-}" ] || { echo "no X display for this test"; exit 77; }
command -v openbox >/dev/null || { echo "no openbox for this test"; exit 77; }
export DISPLAY=$KELMORA_TEST_DISPLAY
viewer=$1 sample=$2 dragger=$3
root=$(mktemp -d)
wm="" app="" source=""
cleanup() {
  [ -n "$source" ] && kill "$source" 2>/dev/null
  [ -n "$app" ] && kill "$app" 2>/dev/null
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
mkdir -p "$root/home" "$root/run" "$root/files"
chmod 700 "$root/run"
cp "$sample" "$root/files/demo.txd"
export HOME="$root/home" XDG_RUNTIME_DIR="$root/run" QT_QPA_PLATFORM=xcb
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 1

"$viewer" >/dev/null 2>&1 &
app=$!
wait_for() { # wait_for TITLE: the viewer's window of that exact title appears
  for _ in $(seq 100); do
    xdotool search --onlyvisible --pid "$app" --name "^$1\$" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "no window \"$1\"; visible: $(xdotool search --onlyvisible --pid "$app" --name . getwindowname %@ 2>/dev/null | tr '\n' '|')"
  return 1
}
# Windows of the viewer on screen: the main window, and whatever else is left.
visible() { xdotool search --onlyvisible --pid "$app" --name '' 2>/dev/null | wc -l; }

version=$("$viewer" --version | cut -d' ' -f2)
wait_for "Kelmora $version"
main=$(visible)
xdotool key --clearmodifiers ctrl+o
wait_for "Open"
sleep 0.5
# Typed in parts, so that the completion pops up before the name is whole.
xdotool type --delay 80 "$root/files/dem"
sleep 0.8
xdotool type --delay 80 "o.txd"
sleep 0.3
xdotool key Return
wait_for "Kelmora $version - demo.txd - 6 texture(s)"
sleep 0.5
after=$(visible)
[ "$after" -le "$main" ] || { echo "a popup stayed on screen: $after windows, $main before"; exit 1; }
# Keys reach the window again: Ctrl+O opens the dialog, Escape closes it.
xdotool key --clearmodifiers ctrl+o
wait_for "Open"
xdotool type --delay 80 "$root/files/de"
sleep 0.5
xdotool key Escape
sleep 0.3
xdotool key Escape
sleep 0.5
[ "$(visible)" -le "$main" ] || { echo "a window stayed after Escape"; exit 1; }

# A drop from another program, through the X server's drag and drop.
cp "$sample" "$root/files/dropped.txd"
"$dragger" "$root/files/dropped.txd" >/dev/null 2>&1 &
source=$!
for _ in $(seq 50); do
  xdotool search --onlyvisible --pid "$source" --name "^drag source\$" >/dev/null 2>&1 && break
  sleep 0.1
done
window=$(xdotool search --onlyvisible --pid "$app" --name "^Kelmora" | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
from=$(xdotool search --onlyvisible --pid "$source" --name "^drag source\$" | head -1)
xdotool windowactivate --sync "$from" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell --prefix S_ "$from")"
xdotool mousemove $((S_X + 40)) $((S_Y + 40)) mousedown 1
for step in 1 2 3 4 5 6 7 8; do
  xdotool mousemove $((S_X + 40 + (X + WIDTH / 2 - S_X - 40) * step / 8)) $((S_Y + 40 + (Y + HEIGHT / 2 - S_Y - 40) * step / 8))
  sleep 0.1
done
sleep 0.3
xdotool mouseup 1
wait_for "Kelmora $version - dropped.txd - 6 texture(s)"
echo "open dialog and drop check passed"
