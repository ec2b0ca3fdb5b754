#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a normal
# build with warnings as errors, and an AddressSanitizer + UBSan build; then
# builds every fuzzer with clang and runs each briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/check-includes.sh
bash tools/format.sh --check
jobs=$(nproc)
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp"
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSAVENOOK_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
bash tools/check-package.sh build

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSAVENOOK_WERROR=ON -DSAVENOOK_SANITIZE=ON \
      -DSAVENOOK_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

# Ten seconds each: enough to catch a reader that falls over at once; longer runs: docs/RELIABILITY.md.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSAVENOOK_WERROR=ON -DCMAKE_CXX_COMPILER=clang++ \
      -DSAVENOOK_FUZZ=ON -DSAVENOOK_FUZZ_SECONDS=10 -DSAVENOOK_TESTS=OFF -DSAVENOOK_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target fuzz
