#!/bin/sh
# Installs what is missing, builds, and runs the whole test suite: the plain build with
# warnings as errors, then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# then the parallel batches under ThreadSanitizer, then a Release build with clang and no
# warning flags of ours, as a user or a distribution would build it.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONVEX_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONVEX_SANITIZE=ON -DSONVEX_WERROR=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
    ctest --test-dir build-asan -j "$jobs" --output-on-failure

# ThreadSanitizer on the batches that convert on several threads: only the engine's tests are
# built (no windows) and only those batches run.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONVEX_SANITIZE=thread \
    -DSONVEX_WERROR=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON
cmake --build build-tsan -j "$jobs" --target test_engine
TSAN_OPTIONS=halt_on_error=1 build-tsan/test_engine \
    --gtest_filter='ParallelBatch.*:Threads/BatchBoth.*'

CC=clang CXX=clang++ cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DSONVEX_TESTS=OFF
cmake --build build-release -j "$jobs" --target sonvex
echo "All tests passed (plain, address and thread sanitizer builds); the Release build with clang builds."
