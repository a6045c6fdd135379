#!/bin/sh
# Strong scaling of a whole run: one simulated data set (examples/simulate_chains.awk, 2,000
# genes x 100 samples, chains of 4), module size 200, a fixed number of nuclei, at 1, 2, 4 and 8
# processes of one thread, 1 process of 8 threads and 2 processes of 4. Per configuration: the
# wall time of mpirun, nuclei per second, and per process (the slowest) the seconds of the
# score initialisations (X-INIT-TIME), the whole-data 1-to-1 tables, the searches (X-ALGO-TIME)
# and the MPI transfers (Total communication time, which includes the waits for slower
# processes), read from the run's log files; "rest" is the wall time beyond their sum: mpirun's
# start, the data input and broadcast and the final output.
#
#   bench/run_scaling.sh [build folder]        (default: build beside the sources)
#
# Environment: NUCLEI (default 1024, a multiple of 8), GENES (2000), SAMPLES (100), MODULE (200),
# CONFIGS (default "1x1 2x1 4x1 8x1 1x8 2x4", processes x threads), MPIRUN (default mpirun).
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
nuclei=${NUCLEI:-1024}
genes=${GENES:-2000}
samples=${SAMPLES:-100}
module=${MODULE:-200}
configs=${CONFIGS:-"1x1 2x1 4x1 8x1 1x8 2x4"}
mpirun=${MPIRUN:-mpirun}
bin=$build/src/driver/velknnsr
[ -x "$bin" ] || cmake --build "$build" -j3 --target velknnsr >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
awk -v genes="$genes" -v samples="$samples" -v chain=4 -v seed=11 \
  -f "$src/examples/simulate_chains.awk" >"$work/data.edf"

# The largest value of a timing line over the processes' logs: key, field number.
slowest() {
  cat "$work"/run.log.* | awk -v key="$1" -v f="$2" '
    index($0, key) == 1 { if ($f + 0 > m) m = $f + 0 }
    END { printf "%.2f", m }'
}

# Seconds of the 1-to-1 tables, summed per process, the slowest process.
oto_slowest() {
  m=0
  for log in "$work"/run.log.*; do
    s=$(awk '/^one-to-one calculation time:/ { s += $4 } END { printf "%.2f", s }' "$log")
    m=$(awk -v a="$m" -v b="$s" 'BEGIN { print (b > a) ? b : a }')
  done
  printf "%.2f" "$m"
}

printf "%-6s %8s %9s %8s %8s %8s %8s %8s %8s\n" PxT wall[s] nuclei/s speedup init oto search \
  exch rest
base=""
for c in $configs; do
  P=${c%x*}
  T=${c#*x}
  rm -f "$work"/run.*
  t0=$(date +%s.%N)
  OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 \
    "$mpirun" --oversubscribe --bind-to none -x OMP_NUM_THREADS="$T" -x OMP_WAIT_POLICY=passive \
    -np "$P" "$bin" -a 1 -T "$nuclei" --ci "$nuclei" -m "$module" --seed 1 --log 1 \
    -o "$work/run" "$work/data.edf" >/dev/null 2>&1
  t1=$(date +%s.%N)
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
  [ -n "$base" ] || base=$wall
  init=$(slowest X-INIT-TIME 2)
  oto=$(oto_slowest)
  search=$(slowest X-ALGO-TIME 2)
  exch=$(slowest 'Total communication time:' 4)
  printf "%-6s %8s %9s %8s %8s %8s %8s %8s %8s\n" "$c" "$wall" \
    "$(awk -v n="$nuclei" -v w="$wall" 'BEGIN { printf "%.2f", n / w }')" \
    "$(awk -v b="$base" -v w="$wall" 'BEGIN { printf "%.2f", b / w }')" \
    "$init" "$oto" "$search" "$exch" \
    "$(awk -v w="$wall" -v a="$init" -v b="$oto" -v c="$search" -v d="$exch" \
      'BEGIN { printf "%.2f", w - a - b - c - d }')"
done
