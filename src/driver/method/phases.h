// The phases of the run's method as a plan of chunks: the random sampling phase and, for NNSR,
// the neighbour node sampling phase, each cut into check intervals of nucleus jobs with an
// evaluation after every full interval.
#pragma once

#include <vector>

namespace vlk::run {

// One call of the job loop: `count` nuclei over all processes; `total` the nuclei of the run
// after it; `local` the loop number of a full interval (1, 2, ...), 0 for a phase's remainder,
// which is not evaluated.
struct Chunk {
  int local;
  int count;
  int total;
  bool evaluated() const { return local > 0; }
  bool operator==(const Chunk&) const = default;
};

// One phase: the nuclei it was given, its loops and remainder as first computed (the
// neighbour phase's first loop may later take over part of the loop size), and its chunks.
struct Phase {
  int span = 0;
  int loops = 0;
  int rem = 0;
  std::vector<Chunk> chunks;
};

struct Plan {
  Phase random;
  bool neighbour_phase = false;
  Phase neighbour;
};

// The chunks of `method` for -t iterations, -T total_iterations and the check interval ci >= 1.
// The random phase runs ci-sized loops, then its remainder. The neighbour phase covers the
// nuclei from -t to -T; when -t is below ci, its first loop fills the first interval (ci - t
// nuclei, so evaluations fall on multiples of ci) and the rest of its loops' nuclei join its
// remainder. The chunks add up to -t (mode 0) or -T (mode 1).
Plan plan_method(int mode, int iterations, int total_iterations, int ci);

}  // namespace vlk::run
