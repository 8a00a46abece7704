#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: once in a normal build and once
# with the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

echo "== normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELTRAK_BUILD_BENCH=ON  # benchmarks are built, not run
echo "== sanitizer build (address, undefined) =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DZELTRAK_SANITIZE=ON

echo "== fuzz smoke run (clang, libFuzzer) =="
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZELTRAK_BUILD_FUZZ=ON -DZELTRAK_SANITIZE=ON \
  -DZELTRAK_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_targets
for target in build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$target")
  seeds="fuzz/corpus/${name#fuzz_}"
  scratch=$(mktemp -d)
  log=$(mktemp)
  # New inputs go to the scratch folder; the committed seeds are only read.
  if ! "$target" -max_total_time=15 -print_final_stats=1 "$scratch" $( [ -d "$seeds" ] && echo "$seeds" ) >"$log" 2>&1; then
    tail -40 "$log"
    echo "fuzz target $name failed"
    exit 1
  fi
  echo "$name: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') executions, no failure"
  rm -rf "$scratch" "$log"
done
