#!/bin/sh
# Strong scaling of a whole run: one simulated data set (examples/simulate_chains.awk, 2,000
# genes x 100 samples, chains of 4), module size 200, a fixed number of nuclei, at 1, 2, 4 and 8
# processes of one thread, 1 process of 8 threads and 2 processes of 4. Per configuration: the
# wall time of mpirun, nuclei per second, and the seconds of the score initialisations
# (X-INIT-TIME), the whole-data 1-to-1 tables, the searches (X-ALGO-TIME) and the MPI transfers
# (Total communication time), read from the run's log files (see columns below); "rest" is
# mpirun's start, the data input and the final output, and the waits for slower processes;
# "stored" is the share of the score calls of no parent or one parent that the run's score
# store answered, over all processes ("-" for a build without the store).
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

# Per process: init, 1-to-1, search and transfer seconds from its log; then the columns of the
# busiest process (the largest init + 1-to-1 + search), the mean search time over the
# processes, the least transfer time (the transfers without the waits for slower processes) and
# the rest of the wall time beyond the busiest process's sum.
columns() {  # wall seconds
  for log in "$work"/run.log.*; do
    awk '/^X-INIT-TIME/ { i = $2 } /^one-to-one calculation time:/ { o += $4 }
         /^X-ALGO-TIME/ { s = $2 } /^Total communication time:/ { e = $4 }
         END { print i + 0, o + 0, s + 0, e + 0 }' "$log"
  done | awk -v wall="$1" '
    { n++; ssum += $3; if (n == 1 || $4 < emin) emin = $4
      if (n == 1 || $1 + $2 + $3 > busy) { busy = $1 + $2 + $3; i = $1; o = $2; s = $3 } }
    END { printf "%8.2f %8.2f %8.2f %8.2f %8.2f %8.2f", i, o, s, ssum / n, emin, wall - busy - emin }'
}

# The store's answered share over every process's status lines.
stored() {
  cat "$work"/run.log.* | awk '/^Score store: .* of no parent or one parent/ { h += $3; c += $5 }
    END { if (c > 0) printf "%7.2f%%", 100 * h / c; else printf "%8s", "-" }'
}

printf "%-6s %8s %9s %8s %8s %8s %8s %8s %8s %8s %8s\n" PxT wall[s] nuclei/s speedup init oto \
  search mean exch rest stored
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
  printf "%-6s %8s %9s %8s %s %s\n" "$c" "$wall" \
    "$(awk -v n="$nuclei" -v w="$wall" 'BEGIN { printf "%.2f", n / w }')" \
    "$(awk -v b="$base" -v w="$wall" 'BEGIN { printf "%.2f", b / w }')" "$(columns "$wall")" \
    "$(stored)"
done
