#!/bin/sh
# Memory of a run on 20,000 genes x 100 samples (examples/simulate_chains.awk) at 8 processes of
# one thread, module size 1000: the peak resident memory of every process (GNU time's %M)
# beside what the program charges to its memory budget (the "required" lines of process 0's
# log) and what the score modules report.
#
#   bench/run_memory.sh [build folder]        (default: build beside the sources)
#
# Environment: NUCLEI (default 64), PROCS (8), GENES (20000), OTO (default 0: --oto -1, no 1-to-1
# table; 1: the default 1-to-1 table of the seed genes on the whole data, with the score's tables
# of all genes on every process meanwhile; bench/results/memory.txt and memory_oto.txt say how
# long each took). The two count tables are calloc'ed: their pages count as resident once a
# nucleus has touched them, so the peak grows with NUCLEI toward the size the budget charges.
# The score store's table is shared by the node's processes and counts in the peak of each that
# touched it: the node's own line is the machine's memory in use at the run's peak, less what
# was in use before it (so run it on a quiet machine).
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
nuclei=${NUCLEI:-64}
procs=${PROCS:-8}
genes=${GENES:-20000}
oto=${OTO:-0}
bin=$build/src/driver/velknnsr
[ -x "$bin" ] || cmake --build "$build" -j3 --target velknnsr >/dev/null
[ -x /usr/bin/time ] || { echo "GNU time (/usr/bin/time) is needed" >&2; exit 1; }

work=$(mktemp -d)
sampler=""
trap '[ -z "$sampler" ] || kill "$sampler" 2>/dev/null; rm -rf "$work"' EXIT INT TERM
awk -v genes="$genes" -v samples=100 -v seed=5 -f "$src/examples/simulate_chains.awk" \
  >"$work/data.edf"
extra="--oto -1"
[ "$oto" = 1 ] && extra=""

# The machine's available memory (kB) every 0.2 s while the run lasts.
available() { awk '/^MemAvailable:/ { print $2 }' /proc/meminfo; }
available_before=$(available)
(while :; do available; sleep 0.2; done) >"$work/available" &
sampler=$!
# shellcheck disable=SC2086
OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 \
  mpirun --oversubscribe --bind-to none -x OMP_NUM_THREADS=1 -x OMP_WAIT_POLICY=passive \
  -np "$procs" sh -c 'exec /usr/bin/time -f "peak resident %M kB" -o "$0.$OMPI_COMM_WORLD_RANK" "$@"' \
  "$work/peak" "$bin" -m 1000 -T "$nuclei" $extra --seed 1 --log 1 -o "$work/run" \
  "$work/data.edf" >"$work/time.out" 2>&1
kill "$sampler"
sampler=""

# Each process's figure went to a file of its own: on one stream the lines of several processes
# may run into each other.
echo "Per process, peak resident memory (kB):"
cat "$work"/peak.* | sort -k3 -n | awk '{ printf "  %s\n", $3 }'
# The score store's table is shared by the processes of the node, and its pages count in the
# peak of every process that touched them: what the node needed is its memory in use at the
# run's peak, beside what it used before.
awk -v before="$available_before" '{ if (min == "" || $1 < min) min = $1 }
  END { printf "The node (kB): %d at the peak, %d per process\n", before - min,
        (before - min) / '"$procs"' }' "$work/available"
echo "Charged to the budget (process 0):"
grep -h 'required for\|Total memory usage' "$work/run.log.00000" | sort | uniq -c |
  sed 's/^/  /'
grep -h '^X-ALL-TIME' "$work/run.log.00000" | sed 's/^/  /'
