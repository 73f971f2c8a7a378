#!/usr/bin/env bash
# Builds Kelmora for 64-bit Windows with MinGW-w64 and packs it:
#
#   scripts/build-windows.sh [--tests] [--host-cli PATH]
#
# builds (or reuses) the Windows libraries (scripts/build-windows-deps.sh), then
# kelmora.exe and kelmora-cli.exe in build-windows/, installs them with every DLL
# and plugin they load into dist/kelmora-<version>-win64/, and writes
# dist/kelmora-<version>-win64.zip. With --tests the test programs are built too,
# to be run with ctest under Wine; --host-cli names this machine's own kelmora-cli,
# whose exports the Windows build's must match.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tests=OFF
host_cli=""
while [ $# -gt 0 ]; do
  case $1 in
    --tests) tests=ON ;;
    --host-cli) host_cli=$(realpath "$2"); shift ;;
    *) echo "usage: scripts/build-windows.sh [--tests] [--host-cli PATH]" >&2; exit 2 ;;
  esac
  shift
done

source scripts/deps.sh
scripts/build-windows-deps.sh
prefixes=$(paste -sd';' "$kelmora_mingw_cache/prefixes.txt")

build=build-windows
start=$SECONDS
mkdir -p "$build"
cmake -G Ninja -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DKELMORA_MINGW_PREFIX="$prefixes" -DCMAKE_BUILD_TYPE=Release -DKELMORA_BUILD_VIEWER=ON -DKELMORA_BUILD_CLI=ON -DKELMORA_BUILD_TESTS="$tests" \
  -DKELMORA_HOST_CLI="$host_cli" >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)"
echo "   kelmora.exe and kelmora-cli.exe built in $((SECONDS - start)) s"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=kelmora-$version-win64
mkdir -p dist
rm -rf "dist/$name.partial"
cmake --install "$build" --strip --prefix "dist/$name.partial" >/dev/null
rm -rf "dist/$name"
mv "dist/$name.partial" "dist/$name"
(cd dist && rm -f "$name.zip.partial" && cmake -E tar cf "$name.zip.partial" --format=zip "$name" && mv "$name.zip.partial" "$name.zip")
echo "   dist/$name/ ($(find "dist/$name" -type f | wc -l) files) and dist/$name.zip ($(du -h "dist/$name.zip" | cut -f1))"
