#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
kelmora_install_deps

export QT_QPA_PLATFORM=offscreen

echo "== build and test"
kelmora_build build -DKELMORA_BUILD_TESTS=ON -DKELMORA_BUILD_BENCH=ON -DKELMORA_BUILD_VIEWER=ON -DKELMORA_BUILD_CLI=ON
(cd build && ctest --output-on-failure -j"$(nproc)")

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
kelmora_build build-asan -DKELMORA_SANITIZE=ON -DKELMORA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$(nproc)")

if command -v clang++ >/dev/null; then
  echo "== fuzzing the walk and the decode"
  kelmora_build build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKELMORA_FUZZ=ON \
    -DKELMORA_BUILD_VIEWER=OFF -DKELMORA_BUILD_TESTS=OFF -DKELMORA_BUILD_BENCH=OFF -DKELMORA_BUILD_CLI=OFF
  corpus=$(mktemp -d)
  cp samples/demo.txd samples/console.txd "$corpus/"
  build-fuzz/fuzz/walk_decode_fuzz -max_total_time="${KELMORA_FUZZ_SECONDS:-60}" -rss_limit_mb=4096 \
    -max_len=200000 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
  rm -rf "$corpus"
fi

if [ -x scripts/check-windows.sh ]; then
  echo "== Windows backend under Wine"
  scripts/check-windows.sh
fi
echo "== all tests passed"
