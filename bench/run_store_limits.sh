#!/bin/sh
# The score store where memory is short, for two builds (OLD, NEW): the run's status, its wall
# seconds and what the log says of the store, on simulated data (examples/simulate_chains.awk,
# samples=100 seed=7), one thread per process:
#
#   1. small memory budgets: 3,000 genes, 4 processes, -m 1000 -T NUCLEI -t NUCLEI/10 at
#      --total-mem 0 (the default), 60 and 45;
#   2. a small shared-memory directory (a tmpfs of SHM_SMALL, standing for a container's
#      /dev/shm, as OpenMPI's osc_sm_backing_directory): 500 genes, -M 3, 4 processes,
#      -m 400 -T 100 -t 10;
#   3. two jobs started together on one tmpfs of SHM_TWO, each of 2 processes on 3,000 genes
#      (-m 1000 -T 8 -t 4), whose stores of 72 MB fit it once.
#
# Steps 2 and 3 mount tmpfs file systems, so they need root (they are left out otherwise).
#
#   bench/run_store_limits.sh <build old> <build new>
#
# Environment: STEPS (default "1 2 3"), NUCLEI (default 400), SHM_SMALL (default 64m), SHM_TWO
# (default 100m), MPIRUN.
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
old=$1
new=$2
steps=${STEPS:-"1 2 3"}
nuclei=${NUCLEI:-400}
shm_small=${SHM_SMALL:-64m}
shm_two=${SHM_TWO:-100m}
mpirun=${MPIRUN:-mpirun}
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1

work=$(mktemp -d)
mounts=""
cleanup() {
  for m in $mounts; do umount "$m" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
awk -v genes=3000 -v samples=100 -v seed=7 -f "$src/examples/simulate_chains.awk" >"$work/d3000.edf"

# tmpfs <size>: a new tmpfs of that size in $d; false without root.
tmpfs() {
  d=$(mktemp -d "$work/shm.XXXXXX")
  mount -t tmpfs -o size="$1" tmpfs "$d" 2>/dev/null || return 1
  mounts="$mounts $d"
}

# run <build> <np> <prefix> <extra mpirun options> <options...>: "status wall-seconds".
run() {
  b=$1 np=$2 out=$3 mpi=$4
  shift 4
  t0=$(date +%s.%N)
  # shellcheck disable=SC2086
  set +e
  "$mpirun" --oversubscribe --bind-to none $mpi -x OMP_NUM_THREADS=1 -x OMP_WAIT_POLICY=passive \
    -np "$np" "$b/src/driver/velknnsr" --seed 1 -o "$out" "$@" >"$out.out" 2>&1 </dev/null
  status=$?
  set -e
  t1=$(date +%s.%N)
  awk -v s="$status" -v a="$t0" -v b="$t1" 'BEGIN { printf "%3d %8.2f", s, b - a }'
}
# store <log>: what the run did with the store.
store() {
  if grep -q 'running without the store' "$1.log" 2>/dev/null; then echo "without (no shared memory)"
  elif grep -q 'running without the table' "$1.log" 2>/dev/null; then echo "without (budget)"
  elif grep -q 'found stored' "$1.log" 2>/dev/null; then echo "with"
  elif grep -q 'Bus error' "$1.out"; then echo "bus error"
  elif grep -q 'MPI_Win_allocate_shared' "$1.out"; then echo "aborted in MPI_Win_allocate_shared"
  else echo "-"; fi
}

for step in $steps; do
  case $step in
  1)
    echo "1. 3,000 genes, 4 processes, -m 1000 -T $nuclei: status, wall seconds, store"
    for mem in 0 60 45; do
      for side in old new; do
        eval b=\$$side
        r=$(run "$b" 4 "$work/b" "" -m 1000 -T "$nuclei" -t "$((nuclei / 10))" --total-mem "$mem" \
          "$work/d3000.edf")
        printf "   --total-mem %-3s %-4s %s   %s\n" "$mem" "$side" "$r" "$(store "$work/b")"
      done
    done
    ;;
  2)
    echo "2. 500 genes, -M 3, 4 processes, shared memory of $shm_small: status, wall seconds, store"
    for side in old new; do
      eval b=\$$side
      tmpfs "$shm_small" || { echo "   (no tmpfs without root)"; break; }
      r=$(run "$b" 4 "$work/s" "--mca osc_sm_backing_directory $d" -m 400 -T 100 -t 10 -M 3 \
        "$src/examples/exprsData.edf")
      printf "   %-4s %s   %s\n" "$side" "$r" "$(store "$work/s")"
      grep -h 'Score store: parent sets' "$work/s.log" 2>/dev/null | sed 's/^/        /' || true
    done
    ;;
  3)
    echo "3. two jobs at once, 3,000 genes, 2 processes each, shared memory of $shm_two"
    for side in old new; do
      eval b=\$$side
      tmpfs "$shm_two" || { echo "   (no tmpfs without root)"; break; }
      for j in 1 2; do
        (run "$b" 2 "$work/t$j" "--mca osc_sm_backing_directory $d" -m 1000 -T 8 -t 4 \
          "$work/d3000.edf" >"$work/t$j.r") &
      done
      wait
      for j in 1 2; do
        printf "   %-4s job %d %s   %s\n" "$side" "$j" "$(cat "$work/t$j.r")" "$(store "$work/t$j")"
      done
      if cmp -s "$work/t1.vlk3" "$work/t2.vlk3"; then echo "   $side: the two networks are the same"; fi
    done
    ;;
  esac
done
