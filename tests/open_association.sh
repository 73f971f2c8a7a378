#!/usr/bin/env bash
# After register-file-type, opening a .txd from the desktop starts the viewer on
# it: with xdg-open in xdg-utils' generic mode and with gio, both with blanks in
# the program's path and in the file's. Needs an X display in KELMORA_TEST_DISPLAY
# (test.sh starts Xvfb); without one the test is skipped (status 77).
# Usage: open_association.sh VIEWER CLI DICTIONARY
set -euo pipefail
[ -n "${KELMORA_TEST_DISPLAY:-}" ] || { echo "no X display for this test"; exit 77; }
export DISPLAY=$KELMORA_TEST_DISPLAY
viewer=$1 cli=$2 sample=$3
root=$(mktemp -d)
cleanup() {
  pkill -f "$root/" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
mkdir -p "$root/my tools" "$root/home" "$root/my files" "$root/run"
chmod 700 "$root/run"
cp "$viewer" "$root/my tools/kelmora"
cp "$cli" "$root/my tools/kelmora-cli"
cp "$sample" "$root/my files/car park.txd"

# A private desktop: nothing of the real home is read or written.
export HOME="$root/home" XDG_DATA_HOME="$root/home/.local/share" XDG_CONFIG_HOME="$root/home/.config"
export XDG_DATA_DIRS="$XDG_DATA_HOME:/usr/share" XDG_RUNTIME_DIR="$root/run" QT_QPA_PLATFORM=xcb
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID BROWSER
"$root/my tools/kelmora-cli" register-file-type

count=$("$root/my tools/kelmora-cli" list "$sample" | wc -l)
title="Kelmora $("$root/my tools/kelmora" --version | cut -d' ' -f2) - car park.txd - $count texture(s)"
pattern="^$(printf '%s' "$title" | sed 's/[][().*^$+?{}|\\]/\\&/g')\$"

# Waits for the viewer's window on the file, then closes the viewer.
expect_viewer() {
  local how=$1 id="" i
  for i in $(seq 150); do
    id=$(xdotool search --name "$pattern" 2>/dev/null | head -n 1) || true
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "$how started no viewer on the file"; exit 1; }
  kill "$(xdotool getwindowpid "$id")" 2>/dev/null || true
  for i in $(seq 50); do
    xdotool search --name "$pattern" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
}

xdg-open "$root/my files/car park.txd" >/dev/null 2>&1 &
expect_viewer "xdg-open (generic mode)"
wait || true

gio open "$root/my files/car park.txd" >/dev/null 2>&1
expect_viewer "gio open"
echo "the association opens the viewer on the file"
