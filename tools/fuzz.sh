#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour sanitizers) and runs
# each for a while, one after the other.
#   tools/fuzz.sh [SECONDS [TARGET...]]      SECONDS per target, 60 unless given
# TARGET is a name such as fuzz_ini; without one every fuzz/*_fuzz.cpp target runs. The
# committed seeds in fuzz/corpus/<name without fuzz_> are only read: new inputs and any crash
# go to a scratch folder that is kept and named at the end. Environment: FUZZ_BUILD_DIR
# (default build-fuzz), JOBS (default nproc).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: tools/fuzz.sh [SECONDS [TARGET...]]" >&2
  exit 2
fi
dir=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${JOBS:-$(nproc)}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    targets+=("fuzz_$name")
  done
fi

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DZELTRAK_BUILD_FUZZ=ON -DZELTRAK_SANITIZE=ON \
  -DZELTRAK_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$jobs" --target "${targets[@]}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zeltrak-fuzz-XXXXXX")
failed=()
for target in "${targets[@]}"; do
  seeds="fuzz/corpus/${target#fuzz_}"
  out="$scratch/${target#fuzz_}"
  mkdir -p "$out/new"
  log="$out/log.txt"
  echo "== $target: $seconds s =="
  status=0
  "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$out/" "$out/new" $( [ -d "$seeds" ] && echo "$seeds" ) >"$log" 2>&1 || status=$?
  # The last status line carries the coverage: "#N  pulse  cov: C ft: F corp: ...".
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  executions=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
  echo "executions: ${executions:-?}"
  echo "coverage:   $(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[A-Za-z]*' <<<"$last" || echo '?')"
  grep -E '^stat::' "$log" | sed 's/^/  /'
  crashes=$(find "$out" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \))
  if [ "$status" -ne 0 ] || [ -n "$crashes" ]; then
    grep -E 'ERROR|property violated|SUMMARY' "$log" | head -5 || true
    echo "FAILED (exit $status); input: ${crashes:-none written}; log: $log"
    failed+=("$target")
  fi
done

echo "new inputs and logs: $scratch"
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
