// velknnsr: the start of a run on every process. The estimation phases are not part of this
// build yet, so after the start-up report the program says so and ends with status 1.
#include <mpi.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "VLK_RNG.h"
#include "VLK_Timer.h"
#include "args.h"
#include "velkcom.h"

namespace {

void print_now(const char* label) {
  const std::time_t now = std::time(nullptr);
  std::fprintf(VELK_ERR, "%s at %s", label, std::ctime(&now));
}

}  // namespace

int main(int argc, char** argv) {
  VLK_Timer* timers = VLK_Timer_new_ar(3);
  VLK_Timer_set_type(&timers[2], 1);
  VLK_Timer_start(&timers[0]);
  VLK_Timer_start(&timers[2]);
  VLK_init();
  MPI_Init(&argc, &argv);
  VLK_Timer_start(&timers[1]);

  Args* args = Args_new();
  parse_args(args, argc, argv);
  VLK_MultiTimer_start(args->timer, 0);

  std::fprintf(VELK_ERR,
               "Velk-BN <NNSR> Rel. %s ($Rev: 255 $)\n  rank=%d, processes=%d, threads=%d\n",
               "0.14.2", args->rank, args->processes, omp_get_max_threads());
  if (args->debug) show_settings(args);
  std::fflush(VELK_ERR);
  if (args->rank == 0) {
    std::fprintf(VELK_ERR, "THIS IS THE ROOT PROCESS.\n");
    std::fflush(VELK_ERR);
  }
  print_now("Initialization finished");
  const char* host = std::getenv("HOSTNAME");
  std::fprintf(VELK_ERR, "HOSTNAME: %s\n", host ? host : "(null)");
  std::fprintf(VELK_ERR, "Random Seed:\t%u\n", args->seed);
  VLK_RNG* rng = VLK_RNG_new();
  args->algo_args->rng = rng;
  VLK_RNG_set_seed(rng, static_cast<int>(Args_run_seed(args)));
  if (args->rw_interval <= 0) args->rw_interval = 1;
  if (args->exchange_interval <= 0) args->exchange_interval = 1;
  std::fprintf(VELK_ERR, "Random Walk Interval: %d\n", args->rw_interval);
  std::fprintf(VELK_ERR, "Exchange Interval: %d\n", args->exchange_interval);
  if (args->oto_interval == 2147483647)
    std::fprintf(VELK_ERR, "1-to-1 Interval: --\n");
  else
    std::fprintf(VELK_ERR, "1-to-1 Interval: %d\n", args->oto_interval);

  std::fprintf(VELK_ERR,
               "ERROR: this build of velknnsr reads its settings only; "
               "the estimation is not available yet\n");
  std::fflush(VELK_ERR);
  MPI_Finalize();
  return 1;
}
