#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the Release build (which also
# installs the package, builds a host project against it and compiles every
# public header), once more with AddressSanitizer and UndefinedBehaviorSanitizer;
# then builds the fuzz targets with clang and runs each briefly (FUZZ_SECONDS,
# default 8), so that a reader that crashes on its seeds or on what little a
# short run finds fails here. The gcc builds treat compiler warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/setup.sh test
# Every program the tests run is here (and listed with its package).
bash scripts/check_test_programs.sh

# The plain build is the Release build users make (-O3), so that the
# warnings only its deeper inlining shows fail here too; line tables (-g1)
# are all that failure reports need, at a third less compile time than full
# debug information.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMAROVIA_BUILD_BENCH=ON -DMAROVIA_WERROR=ON \
  "-DCMAKE_CXX_FLAGS_RELEASE=-O3 -DNDEBUG -g1"
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 300

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMAROVIA_SANITIZE=ON -DMAROVIA_BUILD_BENCH=OFF \
  -DMAROVIA_WERROR=ON "-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g1"
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 600

bash scripts/fuzz.sh -t "${FUZZ_SECONDS:-8}"
