#!/usr/bin/env bash
# full_disk.sh WINDOWS-CLI HOST-CLI SAMPLES WORK: kelmora-cli.exe under Wine writing
# to a nearly full disk (a small tmpfs; skipped where it cannot be mounted). The run
# says which file failed and why, leaves no temporary, every file it leaves is whole
# (the host build's bytes), and a file it was to replace keeps its old bytes.
set -euo pipefail
windows=$1 host=$2 samples=$3 work=$4
disk=$work/small-disk
mkdir -p "$disk"
if ! mount -t tmpfs -o size=96k tmpfs "$disk" 2>/dev/null; then
  echo "   full disk: skipped (no tmpfs can be mounted here)"
  exit 0
fi
trap 'umount "$disk" 2>/dev/null || true' EXIT

status=0
out=$(wine "$windows" extract -f tga -o "$disk/out" "$samples/demo.txd" 2>&1) || status=$?
[ "$status" -eq 1 ] || { echo "exit status $status, not 1: $out"; exit 1; }
echo "$out" | grep -q '^kelmora-cli: Stream write error: ".*\.tga"\. ' || { echo "no write error named: $out"; exit 1; }
if find "$disk" -name '.kelmora-*' | grep -q .; then
  echo "temporaries left behind:"; find "$disk" -name '.kelmora-*'; exit 1
fi
"$host" extract -q -f tga -o "$work/full-reference" "$samples/demo.txd"
for f in "$disk"/out/*; do
  [ -e "$f" ] || continue
  cmp -s "$f" "$work/full-reference/$(basename "$f")" || { echo "$(basename "$f") is not whole"; exit 1; }
done

# Replacing a file when the disk is full keeps the old one.
rm -rf "$disk/out"
head -c 60000 /dev/zero >"$disk/fill"
cp "$samples/demo.txd" "$work/plasma-source.txd"
printf 'old picture' >"$disk/plasma.tga"
status=0
out=$(wine "$windows" save -f tga "$work/plasma-source.txd" 1 "$disk/plasma.tga" 2>&1) || status=$?
[ "$status" -eq 1 ] || { echo "save: exit status $status, not 1: $out"; exit 1; }
[ "$(cat "$disk/plasma.tga")" = "old picture" ] || { echo "save replaced the file with a part"; exit 1; }
echo "   full disk: $(echo "$out" | head -n 1)"
