# Debian packages Kelmora needs to build, run and test: the one list.
# Sourced by run.sh and test.sh; installs only what is missing.
KELMORA_PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev libjpeg62-turbo-dev libcli11-dev
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-dev
  libjpeg-turbo-progs imagemagick python3-pil time
  xvfb xauth
  xdg-utils shared-mime-info desktop-file-utils libfile-mimeinfo-perl
  g++-mingw-w64-x86-64 wine wine64
)

kelmora_install_deps() {
  local missing=()
  local p
  for p in "${KELMORA_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

kelmora_build() { # kelmora_build DIR [cmake options...]
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)" ${KELMORA_TARGETS:+--target $KELMORA_TARGETS}
}
