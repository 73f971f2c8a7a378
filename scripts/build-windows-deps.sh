#!/usr/bin/env bash
# Builds the Windows (x86_64, MinGW-w64) libraries Kelmora links, from Debian's own
# source packages, into a cache outside the clone:
#
#   ${KELMORA_MINGW_CACHE:-~/.cache/kelmora-mingw}/<package>-<version>/
#
# Each package is built once per machine; a folder whose stamp names the same Debian
# version and recipe is reused, so running this again costs seconds. The downloaded
# source packages stay in src/; the unpacked sources and build trees are removed. A package is built
# into a temporary folder and renamed into place when it is complete, so an interrupted
# run leaves nothing that looks finished.
#
# zlib comes ready-made (Debian's libz-mingw-w64-dev); everything else is built here.
# At the end the script writes prefixes.txt in the cache: the install folders, one a
# line, which scripts/build-windows.sh hands to the toolchain file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/deps.sh"

cache=$kelmora_mingw_cache
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)
# Raise when a recipe below changes: every package is then built again.
recipe=1

mkdir -p "$cache/src" "$cache/build"

kelmora_install_deps "${KELMORA_WINDOWS_PACKAGES[@]}"

# apt-get source needs deb-src entries. They are added for the suites the machine
# already installs from, taken from its own Debian entries (no other archive).
ensure_deb_src() {
  if apt-get --print-uris source zlib >/dev/null 2>&1; then
    return 0
  fi
  local sudo="" list=/etc/apt/sources.list.d/kelmora-deb-src.sources
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Adding deb-src entries for Debian's own suites ($list)"
  {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -e "$f" ] && [ "$f" != "$list" ] || continue
      grep -q 'debian.org' "$f" || continue
      sed -e 's/^Types:.*/Types: deb-src/' "$f"
      echo
    done
    if [ -f /etc/apt/sources.list ]; then
      grep -E '^deb[[:space:]].*debian\.org' /etc/apt/sources.list | sed -e 's/^deb[[:space:]]/deb-src /' || true
    fi
  } | $sudo tee "$list.tmp" >/dev/null
  if grep -q '^Types:' "$list.tmp"; then
    $sudo mv "$list.tmp" "$list"
  else # one-line entries
    $sudo mv "$list.tmp" "${list%.sources}.list"
  fi
  $sudo apt-get update -q >/dev/null
}

# source_version PACKAGE: the Debian version apt-get source would fetch (no epoch).
source_version() {
  apt-get --print-uris source "$1" 2>/dev/null | grep -o "'[^']*\.dsc'" | head -n 1 |
    sed -e "s/.*\/$1_//" -e "s/\.dsc'//" -e 's/%2b/+/g'
}

# fetch PACKAGE VERSION: unpacks the source package into $cache/src/PACKAGE (one
# version at a time, so that a build folder keeps pointing at the same sources).
fetch() {
  local pkg=$1 version=$2 dir=$cache/src/$1
  if [ -f "$dir/.unpacked" ] && [ "$(cat "$dir/.unpacked")" = "$version" ]; then
    echo "$dir"
    return
  fi
  rm -rf "$dir"
  (cd "$cache/src" && apt-get source --download-only "$pkg" >/dev/null 2>&1 &&
    dpkg-source -x --no-check "${pkg}_${version}.dsc" "$dir" >/dev/null) || return 1
  echo "$version" >"$dir/.unpacked"
  echo "$dir"
}

prefixes=()
# build PACKAGE RECIPE-FUNCTION: builds the package unless its cached build matches.
build() {
  local pkg=$1 fn=$2 version upstream prefix start
  version=$(source_version "$pkg")
  if [ -z "$version" ]; then
    echo "build-windows-deps: no source package $pkg" >&2
    return 1
  fi
  upstream=${version%-*}
  upstream=${upstream%+dfsg*}
  upstream=${upstream%+ds*}
  prefix=$cache/$pkg-$upstream
  prefixes+=("$prefix")
  local stamp="$pkg $version recipe $recipe"
  if [ -f "$prefix/.kelmora-built" ] && [ "$(cat "$prefix/.kelmora-built")" = "$stamp" ]; then
    printf '   %-16s %-22s cached\n' "$pkg" "$version"
    return 0
  fi
  start=$SECONDS
  local src
  src=$(fetch "$pkg" "$version") || {
    echo "build-windows-deps: could not fetch the source package $pkg $version" >&2
    return 1
  }
  rm -rf "$prefix.partial"
  local b=$cache/build/$pkg
  mkdir -p "$b"
  (set -e; "$fn" "$src" "$b" "$prefix") >"$b.log" 2>&1 || {
    echo "build-windows-deps: building $pkg failed; the last lines of $b.log:" >&2
    tail -n 30 "$b.log" >&2
    return 1
  }
  echo "$stamp" >"$prefix.partial/.kelmora-built"
  rm -rf "$prefix"
  mv "$prefix.partial" "$prefix"
  # Only the installed library is kept: Qt's build tree alone is a gigabyte.
  rm -rf "$b" "$src"
  printf '   %-16s %-22s built in %d s\n' "$pkg" "$version" $((SECONDS - start))
}

# cmake_cross SRC BUILD PREFIX [options...]: configures for PREFIX, builds, and
# installs into PREFIX.partial, which build renames when all went well.
cmake_cross() {
  local src=$1 b=$2 prefix=$3
  shift 3
  cmake -G Ninja -S "$src" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
  cmake --build "$b" -j"$jobs"
  cmake --install "$b" --prefix "$prefix.partial"
}

recipe_libjpeg_turbo() {
  cmake_cross "$1" "$2" "$3" -DENABLE_SHARED=ON -DENABLE_STATIC=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF
}

recipe_libspng() {
  cmake_cross "$1" "$2" "$3" -DSPNG_SHARED=ON -DSPNG_STATIC=OFF -DBUILD_EXAMPLES=OFF -DENABLE_OPT=ON
  # Debian's own build names the pkg-config file spng.pc; the CMake build libspng.pc.
  cp "$3.partial/lib/pkgconfig/libspng.pc" "$3.partial/lib/pkgconfig/spng.pc"
  # and installs its DLL beside the import library instead of in bin.
  mkdir -p "$3.partial/bin"
  mv "$3.partial/lib/libspng.dll" "$3.partial/bin/"
}

recipe_libimagequant() {
  # Its CMake file installs no Windows DLL: build the static library and install it by hand.
  cmake -G Ninja -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_DISABLE_FIND_PACKAGE_OpenMP=ON -DLIB_INSTALL_DIR=lib
  cmake --build "$2" --target imagequant_a -j"$jobs"
  local out=$3.partial
  mkdir -p "$out/include" "$out/lib/pkgconfig"
  cp "$1/libimagequant.h" "$out/include/"
  cp "$2/libimagequant_a.a" "$out/lib/libimagequant.a"
  sed -e "s|@PREFIX@|$3|" -e "s|@VERSION@|$(tr -d '\n' <"$1/version.txt")|" "$1/imagequant.pc.in" \
    >"$out/lib/pkgconfig/imagequant.pc"
}

recipe_libdeflate() {
  # Its Makefile builds for MinGW when the compiler says so; the static library is
  # all Kelmora links, so no DLL travels with it.
  make -C "$1" -j"$jobs" CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-ar libdeflatestatic.lib
  local out=$3.partial
  mkdir -p "$out/include" "$out/lib/pkgconfig"
  cp "$1/libdeflate.h" "$out/include/"
  cp "$1/libdeflatestatic.lib" "$out/lib/libdeflate.a"
  sed -e "s|@PREFIX@|$3|" -e "s|@INCDIR@|$3/include|" -e "s|@LIBDIR@|$3/lib|" \
    -e "s|@VERSION@|$(sed -n 's/^#define LIBDEFLATE_VERSION_STRING[^"]*"\([^"]*\)".*/\1/p' "$1/libdeflate.h")|" \
    "$1/libdeflate.pc.in" >"$out/lib/pkgconfig/libdeflate.pc"
}

recipe_libsquish() {
  # DXT blocks; the static library, without OpenMP (its blocks are encoded one
  # texture a worker already).
  cmake_cross "$1" "$2" "$3" -DBUILD_SHARED_LIBS=OFF -DBUILD_SQUISH_WITH_OPENMP=OFF -DBUILD_SQUISH_EXTRA=OFF
}

recipe_googletest() {
  cmake_cross "$1" "$2" "$3" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

recipe_cli11() {
  cmake_cross "$1" "$2" "$3" -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF -DCLI11_BUILD_DOCS=OFF
}

recipe_nlohmann_json3() {
  cmake_cross "$1" "$2" "$3" -DJSON_BuildTests=OFF
}

# Only what the viewer links: Core, Gui, Widgets and the Windows platform and style
# plugins. The host's own Qt of the same version (qt6-base-dev) provides moc, rcc and
# uic, so no tool is built for the host.
recipe_qt6_base() {
  # Qt 6.4's Windows plugin uses the DirectWrite 3 font database whenever that
  # feature is on, but Gui builds it only together with Direct2D, which is left out.
  sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$1/src/plugins/platforms/windows/qwindowsintegration.cpp"
  cmake_cross "$1" "$2" "$3" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_SHARED_LIBS=ON \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
    -DFEATURE_dbus=OFF -DFEATURE_testlib=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_freetype=OFF -DFEATURE_jpeg=OFF \
    -DFEATURE_gif=OFF -DFEATURE_ico=OFF -DFEATURE_direct2d=OFF -DFEATURE_sessionmanager=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_icu=OFF -DFEATURE_glib=OFF
}

total=$SECONDS
echo "Windows libraries in $cache:"
ensure_deb_src
build cli11 recipe_cli11
build nlohmann-json3 recipe_nlohmann_json3
build googletest recipe_googletest
build libjpeg-turbo recipe_libjpeg_turbo
build libspng recipe_libspng
build libdeflate recipe_libdeflate
build libimagequant recipe_libimagequant
build libsquish recipe_libsquish
build qt6-base recipe_qt6_base
printf '%s\n' "${prefixes[@]}" >"$cache/prefixes.txt.tmp"
mv "$cache/prefixes.txt.tmp" "$cache/prefixes.txt"
echo "   all in $((SECONDS - total)) s, $(du -sh --exclude=src --exclude=build "$cache" | cut -f1) installed"
