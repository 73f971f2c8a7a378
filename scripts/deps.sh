# Debian packages Kelmora needs, and the helpers that install what is missing.
# Sourced by run.sh, test.sh and scripts/check-windows.sh.

# To build and run the viewer and kelmora-cli.
KELMORA_RUN_PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev libjpeg62-turbo-dev libcli11-dev libspng-dev libdeflate-dev nlohmann-json3-dev libimagequant-dev libsquish-dev
)
# Besides those, to run every test, benchmark and fuzz target.
KELMORA_TEST_PACKAGES=(
  libgtest-dev googletest libbenchmark-dev libpng-dev
  clang libclang-rt-dev
  libjpeg-turbo-progs imagemagick python3-pil
  xvfb xauth xdotool openbox libglib2.0-bin
  xdg-utils shared-mime-info desktop-file-utils libfile-mimeinfo-perl
  libxml2-utils appstream man-db bash-completion
)
# The Windows build and check: the POSIX-thread MinGW compiler, what builds the
# Windows libraries from their source packages, and Wine.
KELMORA_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev nasm ninja-build dpkg-dev wine wine64)

# Where the Windows libraries are built and kept (scripts/build-windows-deps.sh).
kelmora_mingw_cache=${KELMORA_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelmora-mingw}

kelmora_missing() { # prints the packages of the arguments that are not installed
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# kelmora_install_deps PACKAGE...: installs the missing ones. When apt refuses the
# whole set, every package is tried on its own, so one that cannot be had does not
# keep the others out; those are named at the end. Returns 1 when any is missing.
kelmora_install_deps() {
  local missing
  mapfile -t missing < <(kelmora_missing "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  if DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
    return 0
  fi
  local p failed=()
  for p in "${missing[@]}"; do
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$p" || failed+=("$p")
  done
  if [ ${#failed[@]} -gt 0 ]; then
    echo "Could not install: ${failed[*]}" >&2
    return 1
  fi
}

# kelmora_start_xvfb FIRST LAST: starts Xvfb on the first free display number of
# that range; sets xvfb (its process id) and xvfb_display. Returns 1 when none is free.
kelmora_start_xvfb() {
  local n
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    xvfb_display=":$n"
    return 0
  done
  return 1
}

kelmora_build() { # kelmora_build DIR [cmake options...]; KELMORA_TARGETS limits what is built
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)" ${KELMORA_TARGETS:+--target $KELMORA_TARGETS}
}
