#!/usr/bin/env bash
# Sets up, builds once and runs every test in that build: clang with
# AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's coverage
# feedback, warnings as errors. The tests run there (the Python package's in
# an interpreter that loads the sanitizers' runtime first; the package is
# installed and a host project built against it), then each fuzz target
# briefly (FUZZ_SECONDS, default 4, as many at once as there are cores), so
# that a reader that crashes on its seeds or on what little a short run finds
# fails here. The benchmarks are built, not run. A compiler cache is used
# when one is installed.
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

# Ninja when it is there, for a build folder that has none yet.
generator=()
if command -v ninja >/dev/null && [ ! -f build-fuzz/CMakeCache.txt ]; then generator=(-G Ninja); fi
# One instrumented build. The library and tools at -O1 keep the sanitizers'
# reports exact and the tests quick. The test programs' own sources are
# compiled at -O0: optimising their many assertion macros was about 40 % of
# the build's time, and little of the tests' run time is spent in them.
# lld links the hundred-odd instrumented programs three times faster than
# the default linker.
linker=()
if command -v ld.lld-14 >/dev/null; then
  linker=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld-14 -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld-14
          -DCMAKE_MODULE_LINKER_FLAGS=-fuse-ld=lld-14)
fi
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" \
  -DMAROVIA_FUZZ=ON -DMAROVIA_BUILD_TESTS=ON -DMAROVIA_BUILD_APPS=ON -DMAROVIA_BUILD_BENCH=ON \
  -DMAROVIA_WERROR=ON -DMAROVIA_TEST_OPTIMIZATION=-O0 "${linker[@]}" "${launcher[@]}"
cmake --build build-fuzz -j"$jobs"
phase build
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-fuzz -j"$jobs" --output-on-failure --timeout 600
phase tests

# The fuzz targets side by side, a few seconds each: enough for a reader
# that crashes on its seeds or at the first mutations; the long campaigns are
# scripts/fuzz.sh's own.
FUZZ_BUILT=1 FUZZ_PARALLEL=$jobs bash scripts/fuzz.sh -t "${FUZZ_SECONDS:-4}"
phase fuzz
