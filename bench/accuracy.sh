#!/bin/sh
# Which settings give the most accurate networks: simulated data with a known network
# (examples/simulate_chains.awk, 100 genes x 100 samples and 200 x 100, several seeds), one run
# of velknnsr per setting and seed, and each written network scored against the truth by how
# well its Freq ranks the true edges. One factor at a time around a base setting, plus a few
# combinations:
#
#   -M 1, 2, 3          parents per gene
#   -S                  the B-spline grid: linear (the driver's two values, no -S), small
#                       (hb=2,hi=2,hn=3) and full (the 21 values hb=2,hi=0.4,hn=21)
#   -m                  genes per nucleus
#   -T                  the README's Count rule T = 100 n^2 / m^2 (rounded up), 2x and 4x
#
# Every run takes -t T/10 and --ci T/4, as the README's example does, and writes edges down to
# --oth 0.05, so that the ranking reaches the weak edges too (the threshold changes what is
# written, not the Freq of an edge).
#
#   bench/accuracy.sh [build folder]        (default: build beside the sources)
#
# Writes accuracy.tsv (per setting, the means over the seeds) and accuracy-runs.tsv (every run)
# to OUT (default bench/results). Environment: SEEDS (100 genes, default "1 2 3 4 5"),
# SEEDS_200 (200 genes, default "1 2 3"), SAMPLES (100), NP (processes, default 4), MPIRUN,
# ONLY (an awk pattern: only the settings whose line below matches it, e.g. "^100 (base|M3) ").
#
# Scores of one run (columns of both files):
#   ap_u, ap_d    average precision (area under the precision-recall curve) of the pairs ranked
#                 by Freq: undirected (a pair scores the Freq of both directions together and is
#                 true when the truth has it either way) and directed (each written edge on its
#                 own, true only in the truth's direction). Edges of equal Freq enter together;
#                 true edges never written count as never recalled.
#   top_u, top_d  precision among the k best-ranked pairs or edges, k = the number of true
#                 edges (ties at the k-th place count by their share of true edges)
#   TP RTP FP FN  the run's own final COMR line (--compare) at the cutoffs 0.2 and 0.5
#   seconds       the program's own running time (X-ALL-TIME of process 0); wall adds
#                 mpirun's start; cpu: user + system seconds of all processes (the cost, less
#                 swayed by other load on the machine than the wall times)
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
out=${OUT:-$src/bench/results}
seeds=${SEEDS:-"1 2 3 4 5"}
seeds_200=${SEEDS_200:-"1 2 3"}
only=${ONLY:-}
samples=${SAMPLES:-100}
np=${NP:-4}
mpirun=${MPIRUN:-mpirun}
bin=$build/src/driver/velknnsr
if [ ! -x "$bin" ]; then
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVLK_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j4 --target velknnsr >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$out"

# genes, setting, -M, grid, -m, multiple of the Count rule's T
settings() {
  cat <<'EOF'
100 base 1 linear 40 1
100 M2 2 linear 40 1
100 M3 3 linear 40 1
100 small 1 small 40 1
100 full 1 full 40 1
100 m20 1 linear 20 1
100 m60 1 linear 60 1
100 m80 1 linear 80 1
100 m100 1 linear 100 1
100 T2x 1 linear 40 2
100 T4x 1 linear 40 4
100 small+m80 1 small 80 1
100 M2+small+m80 2 small 80 1
100 M3+small 3 small 40 1
100 M3+small+m60 3 small 60 1
100 M3+small+m80 3 small 80 1
100 M3+small+m100 3 small 100 1
100 M3+full+m80 3 full 80 1
100 M3+small+m80+T4x 3 small 80 4
200 base 1 linear 80 1
200 M3 3 linear 80 1
200 small 1 small 80 1
200 full 1 full 80 1
200 m40 1 linear 40 1
200 m120 1 linear 120 1
200 m160 1 linear 160 1
200 m200 1 linear 200 1
200 T2x 1 linear 80 2
200 T4x 1 linear 80 4
200 small+m160 1 small 160 1
200 M3+small+m120 3 small 120 1
200 M3+small+m160 3 small 160 1
200 M3+small+m200 3 small 200 1
EOF
}

grid_option() {
  case $1 in
    linear) ;;
    small) echo "-S hb=2,hi=2,hn=3" ;;
    full) echo "-S hb=2,hi=0.4,hn=21" ;;
  esac
}

# The options of one setting: genes, -M, grid, -m, multiple of T
options() {
  T=$(awk -v n="$1" -v m="$4" -v f="$5" 'BEGIN { t = 100 * n * n / (m * m); T = int(t)
    if (T < t) T++; print T * f }')
  t=$((T / 10))
  ci=$((T / 4))
  echo "-M $2 $(grid_option "$3") -m $4 -t $t -T $T --ci $ci" | tr -s ' '
}

run_prefix="OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 nice $mpirun --oversubscribe \
-x OMP_NUM_THREADS=1 -x OMP_WAIT_POLICY=passive -np $np velknnsr"
run_suffix="--compare truth.vlk3 --cutoffs 0.2,0.5 --oth 0.05 --seed SEED -o run data.edf"
data_command="awk -v genes=GENES -v samples=$samples -v seed=SEED -v network=truth.vlk3 \
-f examples/simulate_chains.awk > data.edf"

# ap_u top_u ap_d top_d of a written network (VLK3) against the truth (VLK3)
score() {  # truth, network
  awk -F '\t' '
    FNR == 1 { file++ }
    /^\[/ { edges = ($0 == "[Edges]"); next }
    !edges || NF < 2 { next }
    file == 1 { truth[$1 " " $2] = 1; pair[($1 + 0 < $2 + 0 ? $1 " " $2 : $2 " " $1)] = 1; n++; next }
    NF >= 5 { d[$1 " " $2] = $4; u[($1 + 0 < $2 + 0 ? $1 " " $2 : $2 " " $1)] += $4 }
    END {
      print "P", n
      for (e in d) print "d", d[e], (e in truth)
      for (p in u) print "u", u[p], (p in pair)
    }' "$1" "$2" |
    LC_ALL=C sort -k1,1 -k2,2gr |
    awk '
      $1 == "P" { P = $2; next }
      function close_group() {
        if (gn == 0) return
        if (seen < P && seen + gn >= P) top = tp + (P - seen) * gpos / gn
        tp += gpos; seen += gn
        ap += gpos / P * tp / seen
        gn = 0; gpos = 0
      }
      function finish() {
        close_group()
        if (seen < P) top = tp
        res[kind] = sprintf("%.4f\t%.4f", ap, top / P)
        ap = 0; tp = 0; seen = 0; top = 0
      }
      $1 != kind { if (kind != "") finish(); kind = $1; last = "" }
      $2 != last { close_group(); last = $2 }
      { gn++; gpos += $3 }
      END {
        if (kind != "") finish()
        print (("u" in res) ? res["u"] : "0.0000\t0.0000") "\t" \
              (("d" in res) ? res["d"] : "0.0000\t0.0000")
      }'
}

# User + system seconds of the finished children, from the output of times
children_cpu() {  # file
  awk 'NR == 2 { split($1, u, "m"); split($2, s, "m"); print u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$1"
}

# TP RTP FP FN of the last COMR line at 0.2, then at 0.5
compare_lines() {  # log
  awk -F '\t' '$1 == "COMR:" { c[$3] = $4 "\t" $5 "\t" $6 "\t" $7 }
    END { print c["0.200"] "\t" c["0.500"] }' "$1"
}

header() {  # what the file holds
  echo "# $1"
  echo "# machine: nproc=$(nproc), CPU: $(awk -F ': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
  echo "# date: $started"
  echo "# commit: $(git -C "$src" rev-parse --short HEAD)$(git -C "$src" diff --quiet HEAD -- src bench/accuracy.sh 2>/dev/null || echo ' (with local changes)')"
  echo "# load average (1, 5, 15 min) at start: $load; at end: $(cut -d" " -f1-3 /proc/loadavg)"
  echo "# settings: SEEDS=\"$seeds\" SEEDS_200=\"$seeds_200\" SAMPLES=$samples NP=$np ONLY=\"$only\""
  echo "# to repeat: SEEDS=\"$seeds\" SEEDS_200=\"$seeds_200\" SAMPLES=$samples NP=$np ONLY=\"$only\" bench/accuracy.sh BUILD"
  echo "# data: $data_command"
  echo "# run: $run_prefix OPTIONS $run_suffix"
  echo "# OPTIONS per setting are in the column options; SEED is the column seed, GENES the column genes"
  echo "# ap_u, ap_d: average precision of the gene pairs (undirected) and of the edges (directed)"
  echo "# ranked by Freq; top_u, top_d: precision among the k best, k = the number of true edges;"
  echo "# TP.2 .. FN.5: the run's last COMR line at the cutoffs 0.2 and 0.5; seconds: X-ALL-TIME of"
  echo "# process 0; wall: of mpirun; cpu: user + system seconds of all processes together"
}

started=$(date -u '+%Y-%m-%d %H:%M:%S UTC')
load=$(cut -d' ' -f1-3 /proc/loadavg)
cols="ap_u	top_u	ap_d	top_d	TP.2	RTP.2	FP.2	FN.2	TP.5	RTP.5	FP.5	FN.5	seconds	wall	cpu"
printf 'genes\tsetting\tseed\toptions\t%s\n' "$cols" >"$work/runs"

settings | awk -v re="$only" '$0 ~ re' | while read -r genes name M grid m factor; do
  opts=$(options "$genes" "$M" "$grid" "$m" "$factor")
  case $genes in 100) list=$seeds ;; *) list=$seeds_200 ;; esac
  for seed in $list; do
    dir=$work/$genes.$seed
    if [ ! -d "$dir" ]; then
      mkdir "$dir"
      awk -v genes="$genes" -v samples="$samples" -v seed="$seed" -v network="$dir/truth.vlk3" \
        -f "$src/examples/simulate_chains.awk" >"$dir/data.edf"
    fi
    rm -f "$dir"/run.*
    times >"$work/times0"
    t0=$(date +%s.%N)
    # shellcheck disable=SC2086
    if ! OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 nice "$mpirun" --oversubscribe \
      -x OMP_NUM_THREADS=1 -x OMP_WAIT_POLICY=passive -np "$np" "$bin" $opts \
      --compare "$dir/truth.vlk3" --cutoffs 0.2,0.5 --oth 0.05 --seed "$seed" -o "$dir/run" \
      "$dir/data.edf" </dev/null >"$dir/run.out" 2>&1; then
      echo "accuracy.sh: the run of $name on $genes genes, seed $seed, failed:" >&2
      tail -n 5 "$dir/run.out" "$dir/run.log" >&2 2>/dev/null || true
      exit 1
    fi
    t1=$(date +%s.%N)
    times >"$work/times1"
    wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
    seconds=$(awk -F '\t' '$1 == "X-ALL-TIME" { printf "%.2f", $2 }' "$dir/run.log")
    cpu=$(awk -v a="$(children_cpu "$work/times0")" -v b="$(children_cpu "$work/times1")" \
      'BEGIN { printf "%.2f", b - a }')
    row=$(printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s' "$genes" "$name" "$seed" "$opts" \
      "$(score "$dir/truth.vlk3" "$dir/run.vlk3")" "$(compare_lines "$dir/run.log")" \
      "$seconds" "$wall" "$cpu")
    echo "$row" >>"$work/runs"
    echo "$row" >&2
  done
done

# Means over the seeds per setting, in the order of the settings, and the median times, also
# relative to the base setting of the same gene count.
awk -F '\t' -v OFS='\t' '
  NR == 1 { next }
  {
    k = $1 SUBSEP $2
    if (!(k in n)) { order[++keys] = k; opt[k] = $4 }
    n[k]++
    for (c = 5; c <= NF; c++) sum[k, c] += $c
    apu[k, n[k]] = $5; apd[k, n[k]] = $7
    for (c = 17; c <= 19; c++) time[k, c, n[k]] = $c
    if ($2 == "base") base[$1] = k
  }
  function mean(k, c) { return sum[k, c] / n[k] }
  function sd(a, k,   i, m, s) {
    for (i = 1; i <= n[k]; i++) m += a[k, i]
    m /= n[k]
    for (i = 1; i <= n[k]; i++) s += (a[k, i] - m) ^ 2
    return n[k] > 1 ? sqrt(s / (n[k] - 1)) : 0
  }
  # Times by their median: a burst of other work on the machine sways a mean.
  function median(k, c,   a, i, j, v, m) {
    m = n[k]
    for (i = 1; i <= m; i++) {
      v = time[k, c, i]
      for (j = i - 1; j >= 1 && a[j] > v; j--) a[j + 1] = a[j]
      a[j + 1] = v
    }
    return m % 2 ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
  }
  function relative(k, b, c) { return (b == "" || median(b, c) == 0) ? "-" : sprintf("%.2f", median(k, c) / median(b, c)) }
  END {
    print "genes", "setting", "seeds", "options", "ap_u", "ap_u_sd", "top_u", "ap_d", "ap_d_sd",
          "top_d", "TP.2", "RTP.2", "FP.2", "FN.2", "TP.5", "RTP.5", "FP.5", "FN.5", "seconds",
          "wall", "cpu", "time", "cpu_time"
    for (i = 1; i <= keys; i++) {
      k = order[i]
      split(k, g, SUBSEP)
      b = base[g[1]]
      line = g[1] OFS g[2] OFS n[k] OFS opt[k]
      line = line OFS sprintf("%.3f", mean(k, 5)) OFS sprintf("%.3f", sd(apu, k))
      line = line OFS sprintf("%.3f", mean(k, 6))
      line = line OFS sprintf("%.3f", mean(k, 7)) OFS sprintf("%.3f", sd(apd, k))
      line = line OFS sprintf("%.3f", mean(k, 8))
      for (c = 9; c <= 16; c++) line = line OFS sprintf("%.1f", mean(k, c))
      for (c = 17; c <= 19; c++) line = line OFS sprintf("%.2f", median(k, c))
      print line, relative(k, b, 17), relative(k, b, 19)
    }
  }' "$work/runs" >"$work/means"

{
  header "velknnsr accuracy on simulated chains, means over the seeds (bench/accuracy.sh)"
  echo "# ap_u_sd, ap_d_sd: their standard deviations over the seeds; seconds, wall, cpu: medians over"
  echo "# the seeds; time, cpu_time: seconds and cpu relative to the setting base of the same gene count"
  cat "$work/means"
} >"$work/accuracy.tsv"
{
  header "velknnsr accuracy on simulated chains, every run (bench/accuracy.sh)"
  cat "$work/runs"
} >"$work/accuracy-runs.tsv"
mv "$work/accuracy.tsv" "$work/accuracy-runs.tsv" "$out/"
grep -v "^#" "$out/accuracy.tsv" | column -t -s "$(printf "\t")"
