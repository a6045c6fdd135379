#include "method/main_helpers.h"

#include <cstdio>
#include <ctime>

#include "VLK_Util_jobs.h"
#include "velkcom.h"

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
