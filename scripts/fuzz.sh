#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each one for a while, one after
# the other, then reports per target the executions, the coverage (libFuzzer's
# cov and ft figures) and the findings. Exits 1 when a target found anything:
# a crash, a sanitizer report, a hang, a leak or an allocation beyond the limit.
#
#   scripts/fuzz.sh [-t SECONDS] [-n RUNS] [-w WORKDIR] [-c | -r] [TARGET...]
#
#   -t SECONDS  time per target (default 60)
#   -n RUNS     stop a target earlier, after this many executions
#   -w WORKDIR  corpora, findings and logs (default build-fuzz/work); the
#               corpora grow from run to run, the seeds are added each time
#   -c          a long campaign: the targets built with UndefinedBehaviorSanitizer
#               alone at -O2 (build-fuzz-campaign), about 1.6 times the
#               executions of the default build; follow it with -r
#   -r          replay: each target runs every input of its corpus and seeds
#               once, without mutating, in the default build with both
#               sanitizers; what a campaign found without AddressSanitizer
#               is checked here
#   TARGET      names without the fuzz_ prefix (default: every target)
#
# FUZZ_JOBS sets the build's parallelism, FUZZ_PARALLEL how many targets run
# at once (default 1); FUZZ_NICE the niceness of the runs (default 19, so
# that other work on the machine goes first).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=60
runs=-1
work=build-fuzz/work
build=build-fuzz
sanitizers=address,undefined
optimisation=-O1
replay=
while getopts "t:n:w:cr" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    n) runs=$OPTARG ;;
    w) work=$OPTARG ;;
    c) build=build-fuzz-campaign sanitizers=undefined optimisation=-O2 ;;
    r) replay=1 ;;
    *) sed -n '2,26p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ -n "$replay" ] && [ "$build" != build-fuzz ]; then
  echo "fuzz: -c and -r exclude each other" >&2
  exit 2
fi

# FUZZ_BUILT=1: the build is already configured and built (build-fuzz: the
# test command's instrumented build, which holds the tests too).
if [ -z "${FUZZ_BUILT:-}" ]; then
  bash scripts/setup.sh fuzz
  launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  # The test command's build folder keeps the generator it was made with.
  generator=()
  if command -v ninja >/dev/null && [ ! -f "$build/CMakeCache.txt" ]; then generator=(-G Ninja); fi
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" "${generator[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$optimisation -g1" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=$optimisation -g1" \
    -DMAROVIA_FUZZ=ON -DMAROVIA_FUZZ_SANITIZERS=$sanitizers -DMAROVIA_BUILD_TESTS=OFF \
    -DMAROVIA_BUILD_BENCH=OFF -DMAROVIA_BUILD_APPS=OFF -DMAROVIA_BUILD_PYTHON=OFF \
    "${launcher[@]}" >/dev/null
  cmake --build "$build" -j"${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}" --target fuzzers \
    >/dev/null
fi

if (($# == 0)); then
  set -- $(cd "$build/fuzz" && ls fuzz_* | sed 's/^fuzz_//')
fi

mkdir -p "$work"
work=$(cd "$work" && pwd)

# One target's run; its summary line goes to $work/TARGET.summary, and the
# status says whether it found anything.
run_target() {
  local target=$1
  local exe=$root/$build/fuzz/fuzz_$target
  local corpus=$work/corpus/$target
  local seeds=$work/seeds/$target
  local findings=$work/findings/$target
  local log=$work/$target.log
  rm -rf "$seeds"
  mkdir -p "$corpus" "$seeds" "$findings"

  # Seeds: the files the list names, or what the target generates.
  local line f
  while read -r line; do
    case $line in
      '' | '#'*) ;;
      @generate) MAROVIA_FUZZ_SEED_DIR=$seeds "$exe" >/dev/null 2>&1 ;;
      *) for f in $root/$line; do [ -f "$f" ] && cp "$f" "$seeds/"; done ;;
    esac
  done <"fuzz/seeds/$target.txt"

  local args=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 -print_final_stats=1
    -artifact_prefix="$findings/")
  if [ -n "$replay" ]; then
    # Every input once, whole (the longest sets the length), no mutations.
    args+=(-runs=0)
    echo "fuzz: $target replaying $(find "$corpus" "$seeds" -type f | wc -l) inputs" >&2
  else
    args+=(-max_total_time="$seconds" -runs="$runs")
    [ -f "fuzz/dict/$target.dict" ] && args+=(-dict="fuzz/dict/$target.dict")
    echo "fuzz: $target for ${seconds}s" >&2
  fi
  local status=0
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n "${FUZZ_NICE:-19}" "$exe" "${args[@]}" "$corpus" "$seeds" >"$log" 2>&1 || status=$?

  local executed speed rss cov ft found result=ok
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  found=$(find "$findings" -type f | wc -l)
  if ((status != 0 || found > 0)); then
    result="FINDING (exit $status, $found file(s) in $findings)"
    grep -E 'ERROR|FINDING|SUMMARY|Test unit written' "$log" | head -5 >&2 || true
  fi
  printf '%-22s %12s %9s %6s %7s %6s  %s\n' "$target" "${executed:-?}" "${speed:-?}" \
    "${cov:-?}" "${ft:-?}" "${rss:-?}" "$result" >"$work/$target.summary"
  [ "$result" = ok ]
}

# FUZZ_PARALLEL targets run at a time (default 1: a long campaign wants
# every core for one target; a short check wants them all busy).
parallel=${FUZZ_PARALLEL:-1}
for target in "$@"; do
  [ -x "$root/$build/fuzz/fuzz_$target" ] || { echo "fuzz: no target $target" >&2; exit 2; }
done
for target in "$@"; do
  rm -f "$work/$target.summary"
  while (($(jobs -rp | wc -l) >= parallel)); do wait -n || true; done
  run_target "$target" &
done
wait || true
failed=0
clean=0
for target in "$@"; do
  if [ -f "$work/$target.summary" ] && grep -q '  ok$' "$work/$target.summary"; then
    clean=$((clean + 1))
  else
    failed=1
  fi
done

printf '%-22s %12s %9s %6s %7s %6s  %s\n' target executions exec/s cov ft rss_mb result
for target in "$@"; do cat "$work/$target.summary" 2>/dev/null || echo "$target: no result"; done
echo "fuzz: $clean passed, $(($# - clean)) failed"
exit "$failed"
