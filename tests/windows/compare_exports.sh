#!/usr/bin/env bash
# compare_exports.sh EMULATOR WINDOWS-CLI HOST-CLI SAMPLES: the samples (console and PC) exported in
# every format by the Windows build (through the emulator) and by the host's own
# build must be the same files, byte for byte.
set -euo pipefail
emulator=$1 windows=$2 host=$3 samples=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for sample in demo console d3d8 d3d9; do
  for format in bmp jpeg tga png; do
    "$host" extract -q -f "$format" -o "$work/host/$sample-$format" "$samples/$sample.txd"
    # shellcheck disable=SC2086 # the emulator may carry options
    $emulator "$windows" extract -q -f "$format" -o "$work/windows/$sample-$format" "$samples/$sample.txd"
  done
done
count=$(find "$work/host" -type f | wc -l)
[ "$count" -ge 80 ] || { echo "only $count files exported"; exit 1; }
diff -r "$work/host" "$work/windows"
echo "$count files, the same on both builds"
