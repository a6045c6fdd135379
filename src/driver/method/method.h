// The run's method: the random sampling phase and, for NNSR, the neighbour node sampling
// phase, each cut into check intervals of nucleus jobs (method/phases.h) with an evaluation
// after every full interval; and the search algorithms of --algo.
#pragma once

#include "settings/args.h"

// mode 0: RSR (the -t nuclei of the random sampling phase only); mode 1: NNSR (-t random
// sampling nuclei, then the neighbour node sampling phase up to -T). Collective: every process
// runs the same chunks and evaluations.
void method(Args* args, int mode);

namespace vlk::run {

// An algorithm of --algo: its name (compared without regard to case), the line `method` prints
// and its id (0 hc, 2 hc2, 1 tshc).
struct Algorithm {
  const char* name;
  const char* line;
  int id;
};
// The algorithm of that name, or null.
const Algorithm* find_algorithm(const char* name);
inline bool known_algorithm(const char* name) { return find_algorithm(name) != nullptr; }

}  // namespace vlk::run
