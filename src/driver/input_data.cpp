#include "input_data.h"

#include <cstdlib>

#include "select_nodes.h"
#include "vlk_fatal.h"

void input_check_sizes(const Args* a) {
  if (a->nodes < 0) vlk::fatal("ERROR: input_data(): no data set was read from the input file\n");
  if (a->nodes == 0 || a->samples <= 0)
    vlk::fatal(
        "ERROR: input_data(): the input data holds no gene or no sample: nodes = %d, "
        "samples = %d\n",
        a->nodes, a->samples);
  select_check_settings(a);
  if (a->nodes < a->processes)
    vlk::fatal("ERROR: input_data(): %d genes are fewer than the %d processes\n", a->nodes,
               a->processes);
  if (a->algo_args->dynamic && a->time_points < 2)
    vlk::fatal("ERROR: input_data(): dynamic data need at least two time points: %d found\n",
               a->time_points);
}

void input_data_free(Args* a) {
  const bool own_block = a->whole_values != nullptr &&
                         (a->whole_data == nullptr || a->whole_values != a->whole_data->X);
  if (own_block) std::free(a->whole_values);
  if (a->whole_data != nullptr) VLK_Data_delete(a->whole_data);
  std::free(a->replicates);
  a->whole_values = nullptr;
  a->whole_data = nullptr;
  a->replicates = nullptr;
}

void* input_nuc(void* p) { return p; }
