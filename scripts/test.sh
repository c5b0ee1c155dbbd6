#!/bin/sh
# Installs what is missing, builds, and runs the whole test suite: the plain build with
# warnings as errors, then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a Release build with clang and no warning flags of ours, as a user or a distribution
# would build it.
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

CC=clang CXX=clang++ cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DSONVEX_TESTS=OFF
cmake --build build-release -j "$jobs" --target sonvex
echo "All tests passed (plain and sanitizer builds); the Release build with clang builds."
