#include "output/final_output.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "VLK_Data.h"
#include "VLK_Graph.h"
#include "VLK_IO.h"
#include "VLK_Network.h"
#include "VLK_Util.h"
#include "exchange/network_gathering.h"
#include "method/phases.h"
#include "method/score_store.h"
#include "output/output_network.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

// "<bytes> [bytes] (<MiB> [MiB])" and the rest of the line.
void print_bytes(std::uint64_t bytes, const char* tail) {
  VLK_Util_print_size_t_comma(VELK_ERR, bytes);
  std::fprintf(VELK_ERR, " [bytes] (");
  VLK_Util_print_size_t_comma(VELK_ERR, bytes >> 20);
  std::fprintf(VELK_ERR, " [MiB]) %s", tail);
}

double* value_block(std::uint64_t cells) {
  // One value at least, so that an empty block is still a block of its own.
  auto* block = static_cast<double*>(std::malloc((cells ? cells : 1) * sizeof(double)));
  if (block == nullptr) vlk::fatal("ERROR: Memory allocation failure (dataset::X)\n");
  return block;
}

}  // namespace

void read_reference(Args* a) {
  if (a->reference_file == nullptr) return;
  std::fprintf(VELK_ERR, "Reading the compare file: %s\n", a->reference_file);
  a->reference = IO_read_file(a->reference_file, "VLK3", nullptr);
  if (a->reference == nullptr)
    vlk::fatal("ERROR: Failed to read the compare file: %s\n", a->reference_file);
  const size_t nodes = VLK_Network_num_nodes(a->reference);
  if (nodes != static_cast<size_t>(a->nodes))
    vlk::fatal(
        "ERROR: the compare file %s has %zu nodes and the input data %d genes; its nodes are "
        "taken as the genes in their order\n",
        a->reference_file, nodes, a->nodes);
}

void parametric_cutoffs(Args* a) {
  if (a->cutoffs == nullptr || a->cutoff_mode != 1) return;
  std::fprintf(VELK_ERR, "Parametric Cutoffs...\n");
  if (a->cutoffs->size != 3) vlk::fatal("ERROR: specify three values for --cutoffs\n");
  const double start = a->cutoffs->data[0], end = a->cutoffs->data[1], step = a->cutoffs->data[2];
  std::vector<double> list;
  const std::string error = vlk::run::expand_cutoffs(start, end, step, &list);
  if (!error.empty()) vlk::fatal("%s", error.c_str());
  VLK_DoubleArray_clear(a->cutoffs);
  std::fprintf(VELK_ERR, "  Cut Offs: ");
  for (double x : list) {
    if (VLK_DoubleArray_add(a->cutoffs, x) == nullptr)
      vlk::fatal("ERROR: Memory allocation failure (cutoffs)\n");
    std::fprintf(VELK_ERR, " %.3f", x);
  }
  std::fprintf(VELK_ERR, "\n");
}

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
    print_bytes(bytes, "required for resampled data.\n");
    Args_charge_memory(a, bytes, "the nucleus data set");
    d->X = value_block(cells);
    d->Y = value_block(cells);
    d->n = static_cast<int>(cols);
  } else {
    const std::uint64_t cells = K * static_cast<std::uint64_t>(a->samples);
    const std::uint64_t bytes = cells * sizeof(double);
    print_bytes(bytes, "required for resampled data.\n");
    Args_charge_memory(a, bytes, "the nucleus data set");
    d->X = d->Y = value_block(cells);
    d->n = a->samples;
  }
  d->p = a->module_size;
  a->algo_args->excluded = VLK_Graph_new(static_cast<size_t>(a->module_size));
  score_store_alloc(a);
}

int final_output(Args* a) {
  if (!a->write_output) return 0;
  std::fprintf(VELK_ERR, "Outputting the final network.\n");
  std::fflush(VELK_ERR);
  std::fprintf(VELK_ERR, "  Collecting and Extracting the final graph with th=%f\n",
               a->output_threshold);
  const float th = static_cast<float>(a->output_threshold);
  if (a->output_mode == 0) {
    send_network4(a, th);
  } else if (a->output_mode == 1) {
    send_network5(a, th);
  } else {
    vlk::fatal("ERROR: Unknown output mode: %d\n", a->output_mode);
  }
  if (a->rank != 0) return 0;
  std::fprintf(VELK_ERR, "  Going to output into a file.\n");
  // The gathering has charged its transfers to the communication time and the root's rebuild
  // to the single-part time already: only the writing is added here.
  const auto start = std::chrono::steady_clock::now();
  VLK_MultiTimer_start(a->timer, 5);
  auto write = a->output_mode == 0 ? output_network4 : output_network5;
  const int failed = write(a->output_prefix, a->output_format, a->output_args, a->whole_data,
                           a->gathered_network, a->gathered_values);
  VLK_MultiTimer_stop(a->timer);
  a->single_time += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return failed != 0 ? 1 : 0;
}

void timing_report(const Args* a, const VLK_Timer* timers) {
  FILE* fp = VELK_ERR;
  std::fprintf(fp, "Total communication time: %f [sec]\n", a->comm_time);
  VLK_Util_print_sec_in_day_hour_min_sec(fp, a->comm_time);
  std::fprintf(fp, "Total single part time: %f [sec]\n", a->single_time);
  VLK_Util_print_sec_in_day_hour_min_sec(fp, a->single_time);
  struct Line {
    const char* label;
    const char* key;
    const VLK_Timer* timer;
  };
  const Line lines[] = {{"Total running time: ", "X-ALL-TIME", &timers[0]},
                        {"Inner running Time: ", "X-IN-TIME", &timers[1]},
                        {"Init Time: ", "X-INIT-TIME", a->init_timer},
                        {"Algo Time: ", "X-ALGO-TIME", a->search_timer}};
  for (const Line& l : lines) {
    std::fprintf(fp, "%s", l.label);
    VLK_Timer_print_DDHHMMSS(fp, l.timer);
    std::fprintf(fp, "\n%s\t%f\n", l.key, VLK_Timer_get(l.timer));
  }
  std::fflush(fp);
}
