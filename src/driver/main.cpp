// velknnsr: a whole run on every process. The steps and every collective call come in the same
// order on all processes; process 0 alone writes the final network.
#include <mpi.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>

#include "VLK_PCGraph.h"
#include "VLK_RNG.h"
#include "VLK_Timer.h"
#include "evaluation/cutoffs.h"
#include "evaluation/evaluate.h"
#include "evaluation/reference.h"
#include "exchange/edge_tables.h"
#include "input/input_data.h"
#include "method/main_helpers.h"
#include "method/method.h"
#include "output/final_output.h"
#include "output/output_network.h"
#include "output/timing_report.h"
#include "search/skeleton.h"
#include "selection/nucleus_buffer.h"
#include "settings/args.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

void debug_settings(const Args* a) {
  if (a->debug) show_settings(a);
}

void print_intervals(Args* a) {
  if (a->rw_interval <= 0) a->rw_interval = 1;
  if (a->exchange_interval <= 0) a->exchange_interval = 1;
  std::fprintf(VELK_ERR, "Random Walk Interval: %d\n", a->rw_interval);
  std::fprintf(VELK_ERR, "Exchange Interval: %d\n", a->exchange_interval);
  if (a->oto_interval == kNeverInterval)
    std::fprintf(VELK_ERR, "1-to-1 Interval: --\n");
  else
    std::fprintf(VELK_ERR, "1-to-1 Interval: %d\n", a->oto_interval);
}

// The budget the process started from, whichever way it was given: --total-mem 0 keeps the
// default. parse_args has charged the score cache already.
void print_budget(const Args* a) {
  std::fprintf(VELK_ERR, "Memory budget per process (--total-mem, MiB; 0 keeps 3072): ");
  Args_print_bytes(a->memory + (a->cache_type != 0 ? a->cache_bytes : 0));
  std::fprintf(VELK_ERR, "\n");
}

}  // namespace

int main(int argc, char** argv) {
  // The whole run, MPI_Init to MPI_Finalize, and the CPU time of the process.
  VLK_Timer* timers = VLK_Timer_new_ar(3);
  VLK_Timer_set_type(&timers[2], 1);
  VLK_Timer_start(&timers[0]);
  VLK_Timer_start(&timers[2]);
  VLK_init();
  MPI_Init(&argc, &argv);
  vlk::mpi_endings_init();
  VLK_Timer_start(&timers[1]);

  Args* a = Args_new();
  parse_args(a, argc, argv);
  VLK_MultiTimer_start(a->timer, 0);

  std::fprintf(VELK_ERR,
               "Velk-BN <NNSR> Rel. %s ($Rev: 255 $)\n  rank=%d, processes=%d, threads=%d\n",
               VLK_RELEASE, a->rank, a->processes, omp_get_max_threads());
  debug_settings(a);
  std::fflush(VELK_ERR);
  if (a->rank == 0) {
    std::fprintf(VELK_ERR, "THIS IS THE ROOT PROCESS.\n");
    std::fflush(VELK_ERR);
  }
  put_current_time("Initialization finished");
  const char* host = std::getenv("HOSTNAME");
  std::fprintf(VELK_ERR, "HOSTNAME: %s\n", host ? host : "(null)");
  std::fprintf(VELK_ERR, "Random Seed:\t%u\n", a->seed);
  VLK_RNG* rng = VLK_RNG_new();
  a->algo_args->rng = rng;
  VLK_RNG_set_seed(rng, static_cast<int>(Args_run_seed(a)));
  print_intervals(a);
  print_budget(a);

  debug_settings(a);
  {
    // Up to here every process checks the same settings, the same sizes and the same files.
    vlk::EveryProcessAlike same_start_up;
    input_data(a);
    Args_check_on_root(a, check_output_names);
    debug_settings(a);
    read_reference(a);
    check_skeleton_files(a->whole_data, a->skeleton_file, a->skeleton_type, a->skeleton_args);
    check_first_set_file(a->whole_data, a->algo_name, a->algo_options);
    parametric_cutoffs(a);
  }

  edge_tables_alloc(a);
  std::fprintf(VELK_ERR, "module_size = %d\n", a->module_size);
  exchange_buffers_new(a);
  if (a->rank == 0) a->dag = VLK_PCGraph_new(static_cast<size_t>(a->nodes));
  a->batch_fill = 0;
  nucleus_buffer_alloc(a);

  debug_settings(a);
  switch (a->method) {
    case 0:
      method(a, 0);
      break;
    case 1:
    case 2:
      method(a, 1);
      a->iterations = a->total_iterations;
      break;
    default:
      vlk::fatal("ERROR: Unknown algorithm type (-a option) specified: %d\n", a->method);
  }

  VLK_MultiTimer_start(a->timer, 6);
  if (a->reference_file != nullptr) final_evaluation(a);
  const int status = final_output(a);

  put_current_time("Finalizing MPI start");
  VLK_Timer_stop(&timers[1]);
  MPI_Finalize();
  put_current_time("Finished");
  VLK_Timer_stop(&timers[0]);
  VLK_Timer_stop(&timers[2]);
  VLK_MultiTimer_stop(a->timer);
  timing_report(a, timers);
  return status;
}
