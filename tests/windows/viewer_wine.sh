#!/usr/bin/env bash
# viewer_wine.sh ZIP SAMPLES WORK: the viewer as a Windows user gets it, under Wine
# (WINEPREFIX and DISPLAY set by the caller). The zip is unpacked into a folder with
# blanks and non-ASCII letters, and from there:
#   1. kelmora.exe opens console.txd, its window is found by its title, a texture is
#      shown, the mass export writes the textures to a folder, and the window closes;
#   2. Options > Register File Type answered Yes writes the four keys, read back
#      with "wine reg query";
#   3. "wine start" of a .txd starts the viewer on that file.
set -euo pipefail
# Only what the zip holds: no DLL folder of the build machine on Wine's path.
unset WINEPATH
zip=$(realpath "$1") samples=$(realpath "$2") work=$3

fail() {
  echo "viewer_wine: $*" >&2
  import -window root "$work/failure.png" 2>/dev/null && cp "$work/failure.png" /tmp/kelmora-wine-failure.png &&
    echo "viewer_wine: the screen is in /tmp/kelmora-wine-failure.png" >&2
  exit 1
}

# find_window PATTERN: the id of the visible window whose title matches, within 60 s.
find_window() {
  local id="" i
  for i in $(seq 1 120); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.5
  done
  return 1
}

# wait_gone PID: waits up to 30 s for the process to end.
wait_gone() {
  local i
  for i in $(seq 1 60); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.5
  done
  return 1
}

keys() { # keys WINDOW KEY...: activates the window and presses the keys
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
  shift
  local k
  for k in "$@"; do
    xdotool key --clearmodifiers "$k"
    sleep 0.3
  done
}

# Keyboard focus follows the active window only under a window manager.
wm=""
if command -v openbox >/dev/null; then
  openbox --replace --sm-disable >/dev/null 2>&1 &
  wm=$!
  trap '[ -n "$wm" ] && kill "$wm" 2>/dev/null' EXIT
  sleep 1
fi

app="$work/Any Folder ü/kelmora"
mkdir -p "$app" "$work/files"
(cd "$app" && cmake -E tar xf "$zip")
exe=$(find "$app" -name kelmora.exe | head -n 1)
[ -n "$exe" ] || fail "no kelmora.exe in the zip"
cp "$samples/console.txd" "$work/files/console.txd"
cp "$samples/demo.txd" "$work/files/dëmo copy.txd"

# 1. A texture shown and a mass export.
wine "$exe" "$(winepath -w "$work/files/console.txd")" >"$work/viewer.log" 2>&1 &
viewer=$!
win=$(find_window "console\.txd") || fail "no window titled with console.txd"
sleep 2
import -window root "$work/shown.png"
colours=$(/usr/bin/convert "$work/shown.png" -format %k info:)
[ "$colours" -ge 200 ] || fail "the window shows $colours colours; no texture drawn?"
cp "$work/shown.png" "${KELMORA_WINE_SCREENSHOT:-/tmp/kelmora-wine-viewer.png}"

# Every texture into the folder the dialog offers: a folder named after the
# dictionary, beside it, made without a question (its parent exists).
keys "$win" ctrl+e
dialog=$(find_window "Kelmora - Mass Extract") || fail "no mass extract dialog"
keys "$dialog" alt+a alt+e
exported=$work/files/console
files() { find "$exported" -type f 2>/dev/null | wc -l || true; }
for i in $(seq 1 60); do
  [ "$(files)" -ge 6 ] && break
  sleep 0.5
done
count=$(files)
[ "$count" -ge 6 ] || fail "the mass export wrote $count files into $exported"
[ -f "$exported/sky_32bit.bmp" ] || fail "no sky_32bit.bmp among the exported files"
# The dialog closes itself when done; then the window.
sleep 1
keys "$win" alt+f e
wait_gone "$viewer" || fail "the viewer did not close"
echo "   viewer: texture shown ($colours colours), mass export wrote $count files"

# 2. The registration from the menu.
wine "$exe" >"$work/register.log" 2>&1 &
viewer=$!
win=$(find_window "^Kelmora[ 0-9.]*$") || fail "no empty viewer window"
sleep 1
keys "$win" alt+o Up Return
box=$(find_window "^Register File Type$") || fail "no question box"
keys "$box" alt+y
sleep 2
# reg.exe writes to a pipe in the OEM code page.
query() { wine reg query "$1" /ve 2>/dev/null | iconv -f CP850 -t UTF-8 | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p'; }
[ "$(query 'HKCR\.txd')" = "txdfile" ] || fail ".txd is '$(query 'HKCR\.txd')'"
[ "$(query 'HKCR\txdfile')" = "Halvard/Ostrel Texture Archive" ] || fail "txdfile is '$(query 'HKCR\txdfile')'"
[ "$(query 'HKCR\txdfile\shell')" = "Open" ] || fail "txdfile\\shell is '$(query 'HKCR\txdfile\shell')'"
command=$(query 'HKCR\txdfile\shell\Open\command')
expected="\"$(winepath -w "$exe")\" \"%1\""
[ "$command" = "$expected" ] || fail "the command is '$command', not '$expected'"
keys "$win" alt+f e
wait_gone "$viewer" || fail "the viewer did not close after registering"
echo "   registration: the four keys, command $command"

# 3. The shell opens a .txd with the viewer.
wine start "$(winepath -w "$work/files/dëmo copy.txd")" >"$work/start.log" 2>&1
win=$(find_window "dëmo copy\.txd") || fail "wine start did not open the viewer on the file"
keys "$win" alt+f e
sleep 2
echo "   wine start opened the viewer on dëmo copy.txd"
