#include "selection/nucleus_buffer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "VLK_Data.h"
#include "VLK_Graph.h"
#include "method/score_store.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

double* value_block(std::uint64_t cells) {
  // One value at least, so that an empty block is still a block of its own.
  auto* block = static_cast<double*>(std::malloc((cells ? cells : 1) * sizeof(double)));
  if (block == nullptr) vlk::fatal("ERROR: Memory allocation failure (dataset::X)\n");
  return block;
}

}  // namespace

void nucleus_buffer_alloc(Args* a) {
  VLK_Data* d = a->nucleus_data;
  const std::uint64_t K = static_cast<std::uint64_t>(a->module_size);
  if (a->algo_args->dynamic && a->bootstrap_blocks != -1) {
    const std::int64_t cols = static_cast<std::int64_t>(a->time_points - 1) * a->bootstrap_blocks;
    std::fprintf(VELK_ERR, "Dynamic mode specified\n");
    std::fprintf(VELK_ERR, "Pseudo bootstrapping: total arrays = (%d - 1) * %d = %lld\n",
                 a->time_points, a->bootstrap_blocks, static_cast<long long>(cols));
    if (cols < 1 || cols > INT32_MAX)
      vlk::fatal("ERROR: %lld pseudo-bootstrap columns do not make a data set\n",
                 static_cast<long long>(cols));
    // The pseudo bootstrap writes one row per nucleus gene into each of X and Y.
    const std::uint64_t cells = K * static_cast<std::uint64_t>(cols);
    const std::uint64_t bytes = 2 * cells * sizeof(double);
    Args_print_bytes(bytes);
    std::fprintf(VELK_ERR, " required for resampled data.\n");
    Args_charge_memory(a, bytes, "the nucleus data set");
    d->X = value_block(cells);
    d->Y = value_block(cells);
    d->n = static_cast<int>(cols);
  } else {
    const std::uint64_t cells = K * static_cast<std::uint64_t>(a->samples);
    const std::uint64_t bytes = cells * sizeof(double);
    Args_print_bytes(bytes);
    std::fprintf(VELK_ERR, " required for resampled data.\n");
    Args_charge_memory(a, bytes, "the nucleus data set");
    d->X = d->Y = value_block(cells);
    d->n = a->samples;
  }
  d->p = a->module_size;
  a->algo_args->excluded = VLK_Graph_new(static_cast<size_t>(a->module_size));
  score_store_alloc(a);
}
