#include <mpi.h>

#include "vlk_fatal.h"

namespace vlk {

void mpi_abort_if_running(int code) {
  int initialized = 0, finalized = 0;
  MPI_Initialized(&initialized);
  MPI_Finalized(&finalized);
  if (initialized && !finalized) MPI_Abort(MPI_COMM_WORLD, code);
}

}  // namespace vlk
