#!/usr/bin/env bash
# Line and branch coverage of src/ by the whole test suite (gcov + lcov), written to
# build-cov/coverage.info with a per-file summary in build-cov/coverage.txt.
# Usage: tools/coverage.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
command -v lcov >/dev/null || { export DEBIAN_FRONTEND=noninteractive; apt-get install -y -qq lcov; }

dir=${1:-build-cov}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_C_FLAGS="--coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage" \
  -DCMAKE_SHARED_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$dir" -j "$(nproc)"
find "$dir" -name '*.gcda' -delete
ctest --test-dir "$dir" -j "$(nproc)" --output-on-failure || true   # coverage of a failing run still counts
lcov --quiet --capture --directory "$dir" --rc lcov_branch_coverage=1 --output-file "$dir/captured.info"
# Layers include each other's headers through the links in $dir/layers/<layer>/: name them by
# their place in src/ (lcov merges the records of one file when it reads them back).
sed -E "s#^SF:.*/layers/[a-z]+/#SF:$PWD/src/#" "$dir/captured.info" > "$dir/renamed.info"
lcov --quiet --add-tracefile "$dir/renamed.info" --rc lcov_branch_coverage=1 --output-file "$dir/all.info"
lcov --quiet --extract "$dir/all.info" "$PWD/src/*" --rc lcov_branch_coverage=1 --output-file "$dir/coverage.info"
lcov --list "$dir/coverage.info" --rc lcov_branch_coverage=1 --list-full-path > "$dir/coverage.txt"
lcov --summary "$dir/coverage.info" --rc lcov_branch_coverage=1
