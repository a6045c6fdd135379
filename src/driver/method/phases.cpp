// The method's plan of chunks, the cutoff list, the whole-data score and the small helpers.
#include "method/phases.h"

#include <strings.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "VLK_Util_jobs.h"
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

Plan plan_method(int mode, int iterations, int total_iterations, int ci) {
  Plan plan;
  Phase& rs = plan.random;
  rs.span = iterations;
  rs.loops = iterations / ci;
  rs.rem = iterations % ci;
  for (int i = 1; i <= rs.loops; ++i) rs.chunks.push_back({i, ci, ci * i});
  if (rs.rem != 0) rs.chunks.push_back({0, rs.rem, iterations});
  if (mode != 1) return plan;

  plan.neighbour_phase = true;
  Phase& nn = plan.neighbour;
  nn.span = total_iterations - iterations;
  nn.loops = nn.span / ci;
  nn.rem = nn.span % ci;
  int rem = nn.rem, total = iterations;
  for (int i = 1; i <= nn.loops; ++i) {
    int step = ci;
    if (i == 1 && iterations < ci) {
      step = ci - iterations;
      rem += iterations;
    }
    total += step;
    nn.chunks.push_back({i, step, total});
  }
  if (rem != 0) nn.chunks.push_back({0, rem, total + rem});
  return plan;
}

std::string expand_cutoffs(double start, double end, double step, std::vector<double>* out) {
  char line[160];
  out->clear();
  if (!(step > 0.0)) {
    std::snprintf(line, sizeof line, "ERROR: the step of --cutoffs must be positive: %g\n", step);
    return line;
  }
  if (!(start - end < 1e-7)) {
    std::snprintf(line, sizeof line,
                  "ERROR: the start of --cutoffs is above its end: %g > %g, no cutoff\n", start,
                  end);
    return line;
  }
  double x = start;
  do {
    if (out->size() == static_cast<size_t>(kMaxCutoffs)) {
      out->clear();
      std::snprintf(line, sizeof line,
                    "ERROR: --cutoffs %g to %g by %g makes more than %d cutoffs\n", start, end,
                    step, kMaxCutoffs);
      return line;
    }
    out->push_back(x);
    x += step;
  } while (x - end < 1e-7);
  return {};
}

}  // namespace vlk::run

void init_score(int nodes, int samples, VLK_Data* data, double* whole_values, VLK_Score* score,
                VLK_ScoreArgs* sa, int level, int dynamic) {
  if (dynamic) vlk::fatal("ERROR: Dynamic model is not supported.\n");
  const int saved_p = data->p, saved_n = data->n;
  double* const saved_X = data->X;
  double* const saved_Y = data->Y;
  data->p = nodes;
  data->n = samples;
  data->X = whole_values;
  data->Y = whole_values;

  VLK_KeyValues* const saved_options = sa->options;
  VLK_KeyValues* options =
      saved_options != nullptr ? VLK_KeyValues_clone(saved_options) : VLK_KeyValues_new();
  if (options == nullptr || VLK_KeyValues_put_int(options, "level", level) == nullptr)
    vlk::fatal("ERROR: Memory allocation failure (score options)\n");
  sa->options = options;
  VLK_Score_init(score, data, sa);
  sa->options = saved_options;
  VLK_KeyValues_delete(options);

  data->p = saved_p;
  data->n = saved_n;
  data->X = saved_X;
  data->Y = saved_Y;
}

void put_current_time(const char* label) {
  const std::time_t now = std::time(nullptr);
  std::fprintf(VELK_ERR, "%s at %s", label, std::ctime(&now));
  std::fflush(VELK_ERR);
}

// Three-way rather than the difference, which overflows for values of opposite sign far apart.
int int_cmp(const int* a, const int* b) { return (*a > *b) - (*a < *b); }

void calc_proc_assign(const int* jobs, int njobs, int nprocs, int* counts, int* offsets, int q,
                      int r) {
  for (int p = 0; p < nprocs; ++p) counts[p] = 0;
  for (int i = 0; i < njobs; ++i) {
    const int owner = VLK_Util_job_rank(q, r, jobs[i]);
    // A job beyond the split belongs to no process.
    if (owner >= 0 && owner < nprocs) ++counts[owner];
  }
  if (nprocs > 0) offsets[0] = 0;
  for (int p = 1; p < nprocs; ++p) offsets[p] = offsets[p - 1] + counts[p - 1];
}
