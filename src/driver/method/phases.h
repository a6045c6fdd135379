// The run's method: the random sampling phase and, for NNSR, the neighbour node sampling phase,
// each cut into check intervals of nucleus jobs with an evaluation after every full interval;
// and the helpers of the main program.
#pragma once

#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_Score.h"
#include "settings/args.h"

// mode 0: RSR (the -t nuclei of the random sampling phase only); mode 1: NNSR (-t random
// sampling nuclei, then the neighbour node sampling phase up to -T). Collective: every process
// runs the same chunks and evaluations.
void method(Args* args, int mode);

// Initialises score on the whole data set (nodes x samples values, X and Y both whole_values)
// through the nucleus data set, whose fields are restored afterwards, with the score option
// "level" set to `level` in a copy of the option list. Dynamic data is refused (exit status 1).
void init_score(int nodes, int samples, VLK_Data* data, double* whole_values, VLK_Score* score,
                VLK_ScoreArgs* score_args, int level, int dynamic);

// "<label> at <ctime text>" on VELK_ERR, flushed.
void put_current_time(const char* label);
// Ascending order of ints for qsort.
int int_cmp(const int* a, const int* b);
// counts[p]: jobs[0 .. njobs-1] owned by process p in the job split (q, r); offsets: their
// exclusive prefix sums (send counts and displacements of the list grouped by owner).
void calc_proc_assign(const int* jobs, int njobs, int nprocs, int* counts, int* offsets, int q,
                      int r);

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

// The cutoffs start, start + step, ... up to end (with 1e-7 of slack for the sums of steps).
// Returns the error line when the list would be empty (start above end), would hold more than
// kMaxCutoffs values, or the step is not positive; else an empty text.
inline constexpr int kMaxCutoffs = 10000;
std::string expand_cutoffs(double start, double end, double step, std::vector<double>* out);

}  // namespace vlk::run
