#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit, widget and
# command-line tests, the same under the sanitizers, a minute of fuzzing, and the
# Windows build under Wine. One line per stage; build output goes to a log that
# is shown when a stage fails.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
log=$(mktemp -t kelmora-test.XXXXXX.log)
work=$(mktemp -d -t kelmora-test.XXXXXX)
xvfb=""
finish() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

stage() { # stage NAME COMMAND...: runs the command with its output in the log
  local name=$1 start=$SECONDS
  shift
  printf '== %-52s' "$name"
  if "$@" >>"$log" 2>&1; then
    printf 'ok (%d s)\n' $((SECONDS - start))
  else
    printf 'FAILED (%d s)\n' $((SECONDS - start))
    echo "---- the last 80 lines of $log:"
    tail -n 80 "$log"
    exit 1
  fi
}
# Runs ctest in DIR with its output in the log, then shows ctest's summary lines.
run_tests() {
  local dir=$1 name=$2 start=$SECONDS status=0
  shift 2
  printf '== %-52s' "$name"
  (cd "$dir" && "$@" ctest --output-on-failure -j"$(nproc)") >"$work/ctest.out" 2>&1 || status=$?
  cat "$work/ctest.out" >>"$log"
  if [ $status -eq 0 ]; then
    printf 'ok (%d s)\n' $((SECONDS - start))
  else
    printf 'FAILED (%d s)\n' $((SECONDS - start))
    grep -E -A40 "\*\*\*Failed|Failure|FAILED" "$work/ctest.out" | head -n 120
  fi
  grep -E "tests passed|tests failed out of" "$work/ctest.out" | sed 's/^/   /'
  return $status
}

stage "install the packages" kelmora_install_deps "${KELMORA_RUN_PACKAGES[@]}" "${KELMORA_TEST_PACKAGES[@]}" \
  "${KELMORA_WINDOWS_PACKAGES[@]}"

# Qt quiet and headless: an offscreen platform and a private runtime directory.
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# A display for the tests that need a real X server (the file association).
if kelmora_start_xvfb 90 99; then
  export KELMORA_TEST_DISPLAY=$xvfb_display
fi

opts=(-DKELMORA_BUILD_TESTS=ON -DKELMORA_BUILD_BENCH=ON -DKELMORA_BUILD_VIEWER=ON -DKELMORA_BUILD_CLI=ON)
stage "build" kelmora_build build "${opts[@]}"
run_tests build "tests"

stage "build with AddressSanitizer and UBSan" kelmora_build build-asan -DKELMORA_SANITIZE=ON -DKELMORA_BUILD_BENCH=OFF \
  -DKELMORA_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Debug
run_tests build-asan "tests under the sanitizers" env ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1

# Thumbnails, large textures, the mass export and Find in All Dictionaries run on
# worker threads: those tests under ThreadSanitizer.
stage "build the viewer tests with ThreadSanitizer" env KELMORA_TARGETS=viewer_tests bash -c \
  'source scripts/deps.sh && kelmora_build build-tsan -DKELMORA_TSAN=ON -DKELMORA_BUILD_TESTS=ON -DKELMORA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug'
stage "the window's threads under ThreadSanitizer" env TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp" \
  build-tsan/tests/viewer_tests --gtest_filter='BrowseTest.*:EditTest.*:ViewerExportTest.*:ViewerTest.ADecodeTheUserHasMovedOnFromIsDropped'

if command -v clang++ >/dev/null; then
  stage "build the fuzz target" kelmora_build build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKELMORA_FUZZ=ON -DKELMORA_BUILD_VIEWER=OFF -DKELMORA_BUILD_TESTS=OFF -DKELMORA_BUILD_BENCH=OFF -DKELMORA_BUILD_CLI=OFF
  mkdir "$work/corpus"
  cp samples/demo.txd samples/console.txd samples/d3d8.txd samples/d3d9.txd data/icons/kelmora-16.png "$work/corpus/"
  cp fuzz/regressions/* "$work/corpus/" # inputs that once found a fault, replayed first
  seconds=${KELMORA_FUZZ_SECONDS:-60}
  stage "fuzz the engine, archives and images for $seconds s" build-fuzz/fuzz/walk_decode_fuzz -max_total_time="$seconds" \
    -rss_limit_mb=4096 -max_len=200000 -print_final_stats=1 "$work/corpus"
  grep -E "^(Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb)" "$log" | tail -n 3 | sed 's/^/   /'
fi

# Windows: the libraries are built from Debian's source packages once per machine
# (about half an hour on two cores), then both programs are built and checked
# under Wine.
if [ -f "$kelmora_mingw_cache/prefixes.txt" ]; then
  libs="the Windows libraries (cached)"
else
  libs="the Windows libraries (first run: ~30 min)"
fi
stage "$libs" scripts/build-windows-deps.sh
stage "Windows programs, tests and viewer under Wine" env KELMORA_HOST_CLI=build/cli/kelmora-cli \
  scripts/check-windows.sh
grep -E "^   (the test suite|the viewer|viewer:|registration:|wine start|full disk:|dist/)" "$log" | tail -n 8
echo "== all tests passed (log: $log)"
