#!/bin/sh
# Greedy hill climbing version 2 (case BM_hc2 of bench/greedy_bench.cpp) at 1, 4 and 8 threads,
# on a quiet machine and beside 8 busy loops, under libgomp's default wait policy,
# OMP_WAIT_POLICY=passive and a few GOMP_SPINCOUNT values. Each cell is the best of REPEATS runs
# (seconds of the whole search, "-" past LIMIT). With one thread nothing waits at a barrier, so
# that row is measured under the default policy only.
#
#   bench/hc2_load.sh [build folder]        (default: build-bench beside the sources)
#
# Environment: GENES (nucleus size, default 300), REPEATS (default 3), LIMIT (seconds per run,
# default 60). Beside other builds the run took 14 minutes (27 when most runs hit the limit).
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-bench}
genes=${GENES:-300}
repeats=${REPEATS:-3}
limit=${LIMIT:-60}

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVLK_BUILD_BENCH=ON \
  -DVLK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j4 --target greedy_bench >/dev/null
bin=$build/bench/greedy_bench

busy=""
stop_busy() {
  for pid in $busy; do kill "$pid" 2>/dev/null || true; done
  busy=""
}
trap stop_busy EXIT INT TERM

# Seconds of one search: the benchmark's real time, or "-" when it ran past the limit.
one_run() {  # threads, then VAR=value settings
  threads=$1
  shift
  out=$(env -u OMP_WAIT_POLICY -u GOMP_SPINCOUNT "$@" VLK_BENCH_GENES="$genes" timeout "$limit" "$bin" \
    --benchmark_filter="^BM_hc2/$threads/" 2>/dev/null) || {
    echo -
    return
  }
  echo "$out" | awk '/^BM_hc2/ { print $2; exit }'
}

best_of() {
  best=-
  i=0
  while [ "$i" -lt "$repeats" ]; do
    t=$(one_run "$@")
    [ "$t" = - ] && break  # past the limit once: another try would only take as long
    if [ "$t" != - ] && { [ "$best" = - ] || awk "BEGIN { exit !($t < $best) }"; }; then
      best=$t
    fi
    i=$((i + 1))
  done
  echo "$best"
}

policies="default passive spin1000 spin10000 spin100000"
settings() {
  case $1 in
    default) ;;
    passive) echo "OMP_WAIT_POLICY=passive" ;;
    spin*) echo "GOMP_SPINCOUNT=${1#spin}" ;;
  esac
}

measure() {  # load label
  for threads in 1 4 8; do
    for policy in $policies; do
      [ "$threads" = 1 ] && [ "$policy" != default ] && continue
      # shellcheck disable=SC2046
      printf '%s\t%s\t%s\t%s\n' "$1" "$threads" "$policy" "$(best_of "$threads" $(settings "$policy"))"
    done
  done
}

echo "hc2, $genes genes x 100 samples, one trial; best of $repeats; $(nproc) CPUs; $(date)"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'load\tthreads\tpolicy\tseconds\n'
measure quiet
for _ in 1 2 3 4 5 6 7 8; do
  sh -c 'while :; do :; done' &
  busy="$busy $!"
done
measure busy
stop_busy
