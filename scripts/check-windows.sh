#!/usr/bin/env bash
# The Windows stage of test.sh: builds kelmora.exe, kelmora-cli.exe and the tests
# with MinGW-w64 (scripts/build-windows.sh, which builds the Windows libraries once
# per machine), then under Wine, in a fresh Wine prefix:
#   - the test suite of the engine, the writers and kelmora-cli.exe, the exports
#     of both samples compared with this machine's own build's, and a full disk;
#   - the viewer from the zip, unpacked into another folder: a texture shown, a mass
#     export, the file type registered from its menu, and a .txd opened by the shell.
# KELMORA_HOST_CLI names the host's kelmora-cli (default build/cli/kelmora-cli);
# KELMORA_TEST_DISPLAY an X display to use (else one is started).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/deps.sh
kelmora_install_deps "${KELMORA_WINDOWS_PACKAGES[@]}"

host_cli=${KELMORA_HOST_CLI:-build/cli/kelmora-cli}
if [ ! -x "$host_cli" ]; then
  echo "check-windows: no host kelmora-cli at $host_cli; build the host first" >&2
  exit 1
fi
scripts/build-windows.sh --tests --host-cli "$host_cli"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)

work=$(mktemp -d -t kelmora-wine.XXXXXX)
xvfb=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8
# The test programs run from the build tree: the DLLs' folders go on Wine's path.
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
winepath_dirs=$(sed 's|$|/bin|' "$kelmora_mingw_cache/prefixes.txt" | paste -sd';')
export WINEPATH="$winepath_dirs;$runtime;/usr/x86_64-w64-mingw32/lib"

if [ -n "${KELMORA_TEST_DISPLAY:-}" ]; then
  export DISPLAY=$KELMORA_TEST_DISPLAY
else
  if kelmora_start_xvfb 80 89; then
    export DISPLAY=$xvfb_display
  fi
  sleep 1
fi

# One Wine server and its services for the whole stage, started apart from any
# pipe: a service that inherited ctest's output would keep ctest waiting.
start=$SECONDS
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wineboot --init </dev/null >/dev/null 2>&1
echo "   Wine prefix made in $((SECONDS - start)) s"

start=$SECONDS
(cd build-windows && ctest --output-on-failure -j"$(nproc)")
bash tests/windows/full_disk.sh build-windows/cli/kelmora-cli.exe "$host_cli" samples "$work"
echo "   the test suite under Wine in $((SECONDS - start)) s"

start=$SECONDS
bash tests/windows/viewer_wine.sh "dist/kelmora-$version-win64.zip" samples "$work"
echo "   the viewer under Wine in $((SECONDS - start)) s"
