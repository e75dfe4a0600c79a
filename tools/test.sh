#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs the whole
# suite through CTest: the normal build, the sanitizer build, and short
# fuzz runs. A real Firebird server on loopback serves the client-server and
# fault tests; it is started here and stopped at the end, also on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test
jobs="$(nproc)"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"

tools/fbserver.sh start
trap 'tools/fbserver.sh stop' EXIT
export KELVORA_TEST_SERVER=1 QT_QPA_PLATFORM=offscreen

echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKELVORA_SANITIZE=ON -DKELVORA_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

if [ -x tools/fuzz.sh ]; then
  echo "== fuzz smoke runs"
  tools/fuzz.sh smoke
fi
