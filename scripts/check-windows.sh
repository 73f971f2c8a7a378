#!/usr/bin/env bash
# Cross-compiles the core and the Windows registration backend with MinGW-w64 and
# runs the registry check under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kelmora_install_deps "${KELMORA_WINDOWS_PACKAGES[@]}"

out=build-windows
mkdir -p "$out"
CXX=x86_64-w64-mingw32-g++-posix
flags=(-std=c++20 -O1 -Wall -Wextra -I. -static -DWIN32_LEAN_AND_MEAN)
core=(base/byte_source.cpp base/byte_reader.cpp base/file_identity.cpp base/os_file_win32.cpp base/output_buffer.cpp base/atomic_output.cpp
      dictionary/text.cpp dictionary/dictionary_walk.cpp dictionary/raster_layout.cpp dictionary/gs_memory.cpp
      dictionary/raster_decode.cpp dictionary/dictionary.cpp dictionary/unswizzle.cpp dictionary/colour_rules.cpp
      archive/game_archive.cpp
      export/bmp_writer.cpp export/tga_writer.cpp export/safe_name.cpp export/unique_names.cpp
      export/destination.cpp shell/windows_association.cpp shell/register_windows.cpp)

# The export run needs libjpeg, which has no MinGW build here: compile it, do not link it.
"$CXX" "${flags[@]}" -c export/export_run.cpp -o "$out/export_run.o"
"$CXX" "${flags[@]}" "${core[@]}" tests/windows/registry_check.cpp -o "$out/registry_check.exe" -ladvapi32 -lshell32

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot --init >/dev/null 2>&1 || true
demo=$(winepath -w samples/demo.txd 2>/dev/null)
tmp=$(winepath -w "$prefix" 2>/dev/null)
wine "$out/registry_check.exe" "$demo" "$tmp"
wineserver -k 2>/dev/null || true
