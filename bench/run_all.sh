#!/bin/sh
# Every benchmark, each result recorded under bench/results/ (bench/record.sh). Run it on a
# quiet machine: other work sways every figure. It builds the benchmark programs (they need
# Google Benchmark, Debian's libbenchmark-dev) in build-bench, for the score store's
# before-and-after figures a build of BEFORE (a commit without the store) in build-before, and
# for the store where memory is short a build of OLD (the store before it reserved its shared
# memory and yielded the budget to the score) in build-old.
#
#   bench/run_all.sh [NAME...]        (default: all of them; names below)
#
# Environment: BEFORE (default 677c09f), OLD (default f0d2b09), JOBS (build jobs, default 8). About 90 minutes in all
# on an 8-core machine, most of it the "before" runs, the hc2 load table and the accuracy runs.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
bench=$src/build-bench
jobs=${JOBS:-8}
names=${*:-"micro exchange scaling store store_limits memory hc2_load accuracy"}
record=$src/bench/record.sh
# OpenMPI starts as root only when told so; it changes nothing for other users.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1

cmake -S "$src" -B "$bench" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVLK_BUILD_BENCH=ON \
  -DVLK_BUILD_TESTS=OFF >/dev/null
cmake --build "$bench" -j"$jobs" >/dev/null

# program_build <folder> <commit>: the program of that commit, built once in the folder.
program_build() {
  if [ ! -x "$1/src/driver/velknnsr" ]; then
    tree=$(mktemp -d)
    git -C "$src" worktree add -q --detach "$tree" "$2"
    cmake -S "$tree" -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVLK_BUILD_TESTS=OFF >/dev/null
    cmake --build "$1" -j"$jobs" --target velknnsr >/dev/null
    git -C "$src" worktree remove --force "$tree"
  fi
}
before_build() { program_build "$src/build-before" "${BEFORE:-677c09f}"; }

for name in $names; do
  case $name in
  micro)  # the Google Benchmark programs, one file each
    for prog in "$bench"/bench/*_bench; do
      "$record" "$(basename "$prog")" "$prog" --benchmark_min_time=0.5
    done
    ;;
  exchange)
    "$record" exchange_mpibench mpirun --oversubscribe -np 8 "$bench/bench/exchange_mpibench"
    ;;
  scaling)
    before_build
    GENES=3000 MODULE=1000 NUCLEI=256 CONFIGS="1x1 2x1 4x1 8x1" \
      "$record" scaling_before "$src/bench/run_scaling.sh" "$src/build-before"
    GENES=3000 MODULE=1000 NUCLEI=256 CONFIGS="1x1 2x1 4x1 8x1 1x8 2x4" \
      "$record" scaling "$src/bench/run_scaling.sh" "$bench"
    ;;
  store)
    before_build
    "$record" store "$src/bench/run_store.sh" "$src/build-before" "$bench"
    ;;
  store_limits)
    program_build "$src/build-old" "${OLD:-f0d2b09}"
    "$record" store_limits "$src/bench/run_store_limits.sh" "$src/build-old" "$bench"
    ;;
  memory)
    "$record" memory "$src/bench/run_memory.sh" "$bench"
    OTO=1 "$record" memory_oto "$src/bench/run_memory.sh" "$bench"
    ;;
  hc2_load) "$record" hc2_load "$src/bench/hc2_load.sh" "$bench" ;;
  accuracy) "$src/bench/accuracy.sh" "$bench" ;;  # writes bench/results/accuracy*.tsv itself
  *) echo "unknown benchmark: $name" >&2; exit 2 ;;
  esac
done
