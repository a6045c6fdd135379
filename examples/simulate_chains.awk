# Simulated expression data with planted chains of nonlinear dependences, as an EDF file on
# standard output, and the planted network as a VLK3 file: data whose true network is known,
# for trying the program, for its tests and for its benchmarks.
#
#   awk -v genes=200 -v samples=100 -v chain=4 -v seed=7 -v network=truth.vlk3 \
#       -f examples/simulate_chains.awk > data.edf
#
# Genes G00001, G00002, ... fall into chains of `chain` genes (default 4). The first gene of a
# chain is standard normal noise; every other one is a nonlinear function of the gene before it
# (sin 2x, then x^2, then a steep sigmoid, in turn), scaled to mean 0 and variance 1, plus normal
# noise of standard deviation `noise` (default 0.25). With chain=1 no gene depends on another.
# `network` (optional) receives the planted edges, parent -> child by node index.
function normal() {
  if (have_spare) {
    have_spare = 0
    return spare
  }
  u = 1 - rand()
  r = sqrt(-2 * log(u))
  t = 2 * 3.141592653589793 * rand()
  spare = r * sin(t)
  have_spare = 1
  return r * cos(t)
}

function shape(kind, x) {
  if (kind == 1) return sin(2 * x)
  if (kind == 2) return x * x
  return 1 / (1 + exp(-4 * x))
}

BEGIN {
  if (genes == "") genes = 200
  if (samples == "") samples = 100
  if (chain == "") chain = 4
  if (noise == "") noise = 0.25
  if (seed == "") seed = 1
  srand(seed)
  if (network != "") {
    print "Velk VLK3 FORMAT" > network
    print "[Information]" > network
    print "" > network
    print "[Nodes]" > network
    for (g = 0; g < genes; ++g)
      printf "G%05d\tG%05d\t%d\n", g + 1, g + 1, g > network
    print "" > network
    print "[Edges]" > network
  }
  print "$Version\t1.0"
  for (g = 0; g < genes; ++g) {
    pos = g % chain
    if (pos == 0) {
      for (s = 0; s < samples; ++s) x[s] = normal()
    } else {
      mean = 0
      for (s = 0; s < samples; ++s) {
        y[s] = shape((pos - 1) % 3 + 1, x[s])
        mean += y[s]
      }
      mean /= samples
      var = 0
      for (s = 0; s < samples; ++s) var += (y[s] - mean) ^ 2
      sd = sqrt(var / samples)
      if (sd == 0) sd = 1
      for (s = 0; s < samples; ++s) x[s] = (y[s] - mean) / sd + noise * normal()
      if (network != "") printf "%d\t%d\n", g - 1, g > network
    }
    line = sprintf("G%05d", g + 1)
    for (s = 0; s < samples; ++s) line = line sprintf("\t%f", x[s])
    print line
  }
  if (network != "") close(network)
}
