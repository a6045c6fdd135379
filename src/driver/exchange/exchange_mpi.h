// What the collective exchanges share around their MPI calls.
#pragma once

#include <mpi.h>

#include "settings/args.h"

namespace exchange {

// Runs one MPI call and adds its wall-clock time to the run's communication time.
template <class Call>
void timed(Args* a, Call&& call) {
  const double t0 = MPI_Wtime();
  call();
  a->comm_time += MPI_Wtime() - t0;
}

}  // namespace exchange
