#include "selection/collect_data.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "VLK_Data_resample.h"
#include "velkcom.h"
#include "vlk_check.h"
#include "vlk_fatal.h"

void collect_data(Args* a, const unsigned short* sel) {
  const int K = a->module_size;
  VLK_Data* d = a->nucleus_data;
  if (!a->algo_args->dynamic) {
    const size_t m = a->samples > 0 ? static_cast<size_t>(a->samples) : 0;
    for (int i = 0; i < K; ++i)
      std::copy_n(a->whole_values + sel[i] * m, m, d->X + static_cast<size_t>(i) * m);
  } else {
    if (a->bootstrap_blocks == -1) vlk::fatal("ERROR: Normal dynamic model not supported.\n");
    std::fprintf(VELK_ERR, "Performing pseudo-bootstrap resampling.\n");
    vlk::check(d->X != d->Y, "dynamic nucleus data keeps X and Y apart");
    VLK_Data_pseudo_bootstrap2ushort(a->whole_values, a->samples, a->nodes, a->replicates,
                                     a->time_points, a->bootstrap_blocks, sel, K, d->X, d->Y,
                                     a->algo_args->rng);
  }
  if (a->share_names) {
    std::fprintf(VELK_ERR, "Collecting node names.\n");
    std::fflush(VELK_ERR);
    if (VLK_StrArray_set_size(d->names, static_cast<size_t>(K)) == nullptr)
      vlk::fatal("ERROR: Memory allocation failure (nucleus node names)\n");
    for (int i = 0; i < K; ++i)
      VLK_StrArray_set(d->names, static_cast<size_t>(i),
                       VLK_StrArray_get(a->whole_data->names, sel[i]));
  }
}
