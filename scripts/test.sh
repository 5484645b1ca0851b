#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the Release build (which also
# installs the package, builds a host project against it and compiles every
# public header), once more in a clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer, whose fuzz targets then run briefly each
# (FUZZ_SECONDS, default 4, as many at once as there are cores), so that a
# reader that crashes on its seeds or on what little a short run finds fails
# here. Both builds treat compiler warnings as errors. A compiler cache is used when one is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# Each phase's time is printed as it ends, for the CI's log.
started=$SECONDS
phase() { echo "test: $1 done after $((SECONDS - started)) s" >&2; }

bash scripts/setup.sh fuzz
# Every program the tests run is here (and listed with its package).
bash scripts/check_test_programs.sh
phase setup

# The plain build is the Release build users make (-O3), so that the
# warnings only its deeper inlining shows fail here too; line tables (-g1)
# are all that failure reports need. The test programs' own sources are
# compiled at -O1: they are most of the build's time, and the code they
# measure is the library's.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DMAROVIA_BUILD_BENCH=ON -DMAROVIA_WERROR=ON \
  "-DCMAKE_CXX_FLAGS_RELEASE=-O3 -DNDEBUG -g1" -DMAROVIA_TEST_OPTIMIZATION=-O1 "${launcher[@]}"
cmake --build build -j"$jobs"
phase "release build"
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 300
phase "release tests"

# One instrumented build serves the sanitizers and the fuzzers: clang with
# AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's coverage
# feedback. The tests run in it, then each fuzz target for a while.
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" \
  -DMAROVIA_FUZZ=ON -DMAROVIA_BUILD_BENCH=OFF -DMAROVIA_WERROR=ON -DMAROVIA_TEST_OPTIMIZATION=-O1 \
  "${launcher[@]}"
cmake --build build-fuzz -j"$jobs"
phase "sanitizer build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-fuzz -j"$jobs" --output-on-failure --timeout 600
phase "sanitizer tests"

# The fuzz targets side by side, a few seconds each: enough for a reader
# that crashes on its seeds or at the first mutations; the long campaigns are
# scripts/fuzz.sh's own.
FUZZ_BUILT=1 FUZZ_PARALLEL=$jobs bash scripts/fuzz.sh -t "${FUZZ_SECONDS:-4}"
phase fuzz
