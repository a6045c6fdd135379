#include <mpi.h>

#include "settings/args.h"

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
