// The estimation method: the phases of check intervals of nucleus jobs, with the evaluation
// after every full interval.
#include "method/method.h"

#include <strings.h>

#include <cstdio>
#include <ctime>

#include "evaluation/evaluate.h"
#include "exchange/exchange_work.h"
#include "method/nucleus_jobs.h"
#include "method/phases.h"
#include "search/whole_data_score.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace vlk::run {

const Algorithm* find_algorithm(const char* name) {
  static constexpr Algorithm rows[] = {{"hc", "Algorithm: HC\n", 0},
                                       {"hc2", "Algorithm: HC2\n", 2},
                                       {"tshc", "Algorithm: TwoStepHC\n", 1}};
  if (name == nullptr) return nullptr;
  for (const Algorithm& r : rows)
    if (strcasecmp(name, r.name) == 0) return &r;
  return nullptr;
}

}  // namespace vlk::run

namespace {

enum Section { kStart = 1, kRandom = 2, kNeighbour = 3 };

// The algorithm id of --algo: 0 hc, 2 hc2, 1 tshc.
int choose_algorithm(const char* name) {
  const vlk::run::Algorithm* algorithm = vlk::run::find_algorithm(name);
  if (algorithm == nullptr) vlk::fatal("ERROR: Unknown Algorithm specified: %s\n", name);
  std::fprintf(VELK_ERR, "%s", algorithm->line);
  return algorithm->id;
}

// The chunks of one phase; `section` is switched back to after every job-loop call, which may
// leave it elsewhere.
void run_phase(Args* a, const vlk::run::Phase& phase, Section section, int* jobs, int* next) {
  for (const vlk::run::Chunk& c : phase.chunks) {
    if (c.evaluated()) {
      std::fprintf(VELK_ERR, "LOCAL ITER=%d,  TOTAL ITER=%d\n", c.local, c.total);
      std::fflush(VELK_ERR);
    }
    generate_nuclei(a, c.count, jobs);
    if (!c.evaluated()) continue;
    VLK_MultiTimer_start(a->timer, section);
    if (a->reference_file != nullptr) evaluate(a, c.total, next);
  }
}

}  // namespace

void method(Args* a, int mode) {
  VLK_MultiTimer_start(a->timer, kStart);
  std::fprintf(VELK_ERR, mode == 0 ? "Method: RSR\n" : "Method: NNSR\n");
  a->algo_id = choose_algorithm(a->algo_name);
  a->algo_args->score = VLK_Score_get(a->score_name);
  if (a->algo_args->score == nullptr)
    vlk::fatal("ERROR: Unknown score module: %s\n", a->score_name);
  if (a->init_score) {
    std::fprintf(VELK_ERR, "\n=== SCORE INITIALIZATION ===\n");
    a->score_args->max_parents = a->algo_args->max_parents;
    a->score_args->max_memory = a->memory;
    init_score(a->nodes, a->samples, a->nucleus_data, a->whole_values, a->algo_args->score,
               a->score_args, a->score_level, a->algo_args->dynamic);
  }

  // Real jobs of this process so far (the seed rotation) and the next DAG evaluation, across
  // both phases.
  int jobs = 0;
  int next = a->dag_interval;
  const vlk::run::Plan plan =
      vlk::run::plan_method(mode, a->iterations, a->total_iterations, a->check_interval);

  VLK_MultiTimer_start(a->timer, kRandom);
  if (mode == 1) {
    std::fprintf(VELK_ERR, "\n===== RANDOM SAMPLING PHASE =====\n\n");
    std::fflush(VELK_ERR);
  }
  const vlk::run::Phase& rs = plan.random;
  std::fprintf(VELK_ERR, "For check: iterations=%d, interval=%d, loops=%d, rem=%d\n", rs.span,
               a->check_interval, rs.loops, rs.rem);
  run_phase(a, rs, kRandom, &jobs, &next);
  VLK_MultiTimer_start(a->timer, kNeighbour);

  if (plan.neighbour_phase) {
    const vlk::run::Phase& nn = plan.neighbour;
    std::fprintf(VELK_ERR, "\n===== NEIGHBOR NODE SAMPLING PHASE =====\n\n");
    std::fprintf(VELK_ERR, "  At %s", exchange::now_text());
    std::fflush(VELK_ERR);
    std::fprintf(VELK_ERR, "  iterations=%d, interval=%d, loops=%d, rem=%d\n", nn.span,
                 a->check_interval, nn.loops, nn.rem);
    run_phase(a, nn, kNeighbour, &jobs, &next);
    VLK_MultiTimer_start(a->timer, kNeighbour);
  }
}
