#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ and runs each one for a bounded time.
#   tools/fuzz.sh smoke            every target for 20 s (the quick check)
#   tools/fuzz.sh long [seconds]   every target for longer (default 600 s)
#   tools/fuzz.sh build            build only
# Seeds come from fuzz/corpus/<name>/ and are never written to; what a run
# learns stays in fuzz/build/corpus/<name>/, a crash input in
# fuzz/build/artifacts/. Exits non-zero when a target crashes or fails to build.
# Needs clang-14 and libclang-rt-14-dev (libFuzzer and the sanitizer runtimes).
set -euo pipefail

mode=${1:-smoke}
case "$mode" in
  smoke) seconds=20 ;;
  long) seconds=${2:-600} ;;
  build) seconds=0 ;;
  *) echo "usage: $0 smoke | long [seconds] | build" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
src="$root/fuzz"
build="${KELVORA_FUZZ_BUILD:-$src/build}"
cc=${CC_FUZZ:-clang-14}
cxx=${CXX_FUZZ:-clang++-14}

for tool in "$cc" "$cxx"; do
  command -v "$tool" >/dev/null || { echo "fuzz: $tool not found (Debian package clang-14)" >&2; exit 2; }
done
if ! "$cxx" -print-file-name=libclang_rt.fuzzer-x86_64.a | grep -q /; then
  echo "fuzz: libFuzzer not found (Debian package libclang-rt-14-dev)" >&2
  exit 2
fi

CC="$cc" CXX="$cxx" cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

[[ "$mode" == build ]] && exit 0

mkdir -p "$build/artifacts"
failed=()
for source in "$src"/*_fuzz.cpp; do
  target=$(basename "$source" .cpp)
  name=${target%_fuzz}
  work="$build/corpus/$name"
  mkdir -p "$work"
  seeds=()
  [[ -d "$src/corpus/$name" ]] && seeds=("$src/corpus/$name")
  echo "== $target: ${seconds}s"
  if ! "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
      "$work" "${seeds[@]}" >"$build/$target.log" 2>&1; then
    failed+=("$target")
    tail -n 40 "$build/$target.log" >&2
  fi
  grep -E '^stat::number_of_executed_units' "$build/$target.log" || true
done

if ((${#failed[@]})); then
  echo "fuzz: FAILED: ${failed[*]} (inputs in $build/artifacts)" >&2
  exit 1
fi
echo "fuzz: all targets ran clean"
