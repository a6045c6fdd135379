#include <mpi.h>

#include "settings/args.h"
#include "vlk_fatal.h"

Args* Args_new() {
  int rank = 0, processes = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &processes);
  return Args_new_rank(rank, processes);
}

void Args_finalize_mpi() {
  int initialized = 0, finalized = 0;
  MPI_Initialized(&initialized);
  MPI_Finalized(&finalized);
  if (initialized && !finalized) MPI_Finalize();
}

namespace {

void tell_verdict(int refused) { MPI_Bcast(&refused, 1, MPI_INT, 0, MPI_COMM_WORLD); }
void tell_refused() { tell_verdict(1); }

}  // namespace

void Args_check_on_root(const Args* a, void (*check)(const Args*)) {
  if (!vlk::mpi_place().running) {
    if (a->rank == 0) check(a);
    return;
  }
  if (a->rank == 0) {
    {
      vlk::EveryProcessAlike refusal_tells_the_others(tell_refused);
      check(a);
    }
    return tell_verdict(0);
  }
  int refused = 0;
  MPI_Bcast(&refused, 1, MPI_INT, 0, MPI_COMM_WORLD);
  if (refused != 0)
    vlk::fatal_every_process("ERROR: process 0 refused the run at start-up; its line says why\n");
}
