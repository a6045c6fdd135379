#!/bin/sh
# What the run's score store buys, a build without it ("before") beside one with it ("after"),
# one process of one thread unless said otherwise, on simulated data
# (examples/simulate_chains.awk genes=3000 samples=100 seed=7), module size 1000, -M 1, the
# linear grid, one trial (the defaults):
#
#   1. the 40-nucleus run (-T 40 -t 4): wall seconds end to end, the speed-up, and whether the
#      two networks are the same bytes;
#   2. steady-state seconds per nucleus at -M 1 and -M 3: the score set-up and search seconds
#      (X-INIT-TIME + X-ALGO-TIME) of a run of 2N nuclei less those of a run of N, over N, so
#      the first nuclei and the whole-data table drop out;
#   3. a --ci 50 run of 200 nuclei: how many whole-data 1-to-1 tables it computes;
#   4. peak resident memory per process (GNU time's %M) and their sum per node, at 3,000 and
#      12,625 genes and PROCS processes. The shared table's pages count in every process that
#      touched them, so for the store the node's sum is also given less the extra copies;
#   5. the README's Count rule at 3,000 genes, T = 100 n^2 / m^2 = 900 nuclei (-t 90), on one
#      core: wall seconds of the whole run, with the store only (the build after).
#
# The scaling table with the store's hit share is bench/run_scaling.sh (GENES=3000 MODULE=1000
# NUCLEI=256 CONFIGS="1x1 2x1 4x1 8x1"), run for each build.
#
#   bench/run_store.sh <build before> <build after>
#
# Environment: STEPS (default "1 2 3 4 5"), N (default 20), PROCS (default 8), MPIRUN.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
before=$1
after=$2
steps=${STEPS:-"1 2 3 4 5"}
n=${N:-20}
procs=${PROCS:-8}
mpirun=${MPIRUN:-mpirun}
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
simulate() {  # genes file
  [ -f "$2" ] || awk -v genes="$1" -v samples=100 -v seed=7 \
    -f "$src/examples/simulate_chains.awk" >"$2"
}
simulate 3000 "$work/d3000.edf"

# run <build> <np> <prefix> <options...>: wall seconds of one run.
run() {
  b=$1 np=$2 out=$3
  shift 3
  t0=$(date +%s.%N)
  "$mpirun" --oversubscribe --bind-to none -x OMP_NUM_THREADS=1 -x OMP_WAIT_POLICY=passive \
    -np "$np" "$b/src/driver/velknnsr" --seed 1 -o "$out" "$@" >"$out.out" 2>&1
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}
busy() {  # log: score set-up and search seconds
  awk '/^X-INIT-TIME/ { i = $2 } /^X-ALGO-TIME/ { s = $2 } END { printf "%.3f", i + s }' "$1"
}

for step in $steps; do
  case $step in
  1)
    echo "1. 40 nuclei, 3,000 genes, -m 1000 -T 40 -t 4: wall seconds"
    wb=$(run "$before" 1 "$work/e2e_b" -m 1000 -T 40 -t 4 "$work/d3000.edf")
    wa=$(run "$after" 1 "$work/e2e_a" -m 1000 -T 40 -t 4 "$work/d3000.edf")
    cmp -s "$work/e2e_b.vlk3" "$work/e2e_a.vlk3" && same=same || same=DIFFERENT
    awk -v b="$wb" -v a="$wa" -v s="$same" 'BEGIN {
      printf "   before %8.2f   after %8.2f   speed-up %6.2f   networks %s\n", b, a, b / a, s }'
    ;;
  2)
    echo "2. steady state, seconds per nucleus (runs of $n and $((2 * n)) nuclei, -t 4)"
    for M in 1 3; do
      for side in before after; do
        eval b=\$$side
        run "$b" 1 "$work/s1" -m 1000 -T "$n" -t 4 -M "$M" "$work/d3000.edf" >/dev/null
        run "$b" 1 "$work/s2" -m 1000 -T "$((2 * n))" -t 4 -M "$M" "$work/d3000.edf" >/dev/null
        awk -v M="$M" -v s="$side" -v x="$(busy "$work/s1.log")" -v y="$(busy "$work/s2.log")" \
          -v n="$n" 'BEGIN { printf "   -M %d %-6s %8.3f\n", M, s, (y - x) / n }'
      done
    done
    ;;
  3)
    echo "3. --ci 50, 200 nuclei: whole-data 1-to-1 tables computed"
    for side in before after; do
      eval b=\$$side
      run "$b" 1 "$work/ci" -m 1000 -T 200 --ci 50 "$work/d3000.edf" >/dev/null
      printf "   %-6s %d\n" "$side" "$(grep -c '^one-to-one calculation time' "$work/ci.log")"
    done
    ;;
  4)
    echo "4. peak resident memory, $procs processes, -m 1000 -T $procs -a 0 -t $procs (kB)"
    simulate 12625 "$work/d12625.edf"
    for genes in 3000 12625; do
      for side in before after; do
        eval b=\$$side
        # Each process's figure goes to a file of its own (peak.RANK): on one stream the lines
        # of several processes may run into each other.
        rm -f "$work"/peak.*
        "$mpirun" --oversubscribe --bind-to none -x OMP_NUM_THREADS=1 \
          -x OMP_WAIT_POLICY=passive -np "$procs" \
          sh -c 'exec /usr/bin/time -f "peak %M" -o "$0.$OMPI_COMM_WORLD_RANK" "$@"' "$work/peak" \
          "$b/src/driver/velknnsr" -m 1000 -T "$procs" -a 0 -t "$procs" --seed 1 \
          -o "$work/mem" "$work/d$genes.edf" >"$work/mem.out" 2>&1
        table=$(awk '/^Score store: table/ { gsub(",", "", $4); print int($4 / 1024) }' \
          "$work/mem.log")
        cat "$work"/peak.* | awk -v g="$genes" -v s="$side" -v t="${table:-0}" \
          -v p="$procs" '{ sum += $2; if ($2 > max) max = $2 }
          END { printf "   %5d genes %-6s per process max %9d   node %10d   less copies %10d   table %9d\n",
                g, s, max, sum, sum - (p - 1) * t, t }'
      done
    done
    ;;
  5)
    echo "5. the Count rule, 3,000 genes, -m 1000 -T 900 -t 90, one process: wall seconds"
    printf "   after %8.2f\n" "$(run "$after" 1 "$work/count" -m 1000 -T 900 -t 90 "$work/d3000.edf")"
    ;;
  esac
done
