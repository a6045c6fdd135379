// What the MPI test programs share: their place in the world communicator and the root they
// broadcast from (1, so that rank 0 is not special).
#pragma once

#include <mpi.h>

namespace vlk_test {

constexpr int kRoot = 1;

inline int rank() {
  int r = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &r);
  return r;
}

inline int procs() {
  int n = 0;
  MPI_Comm_size(MPI_COMM_WORLD, &n);
  return n;
}

inline bool is_root() { return rank() == kRoot; }

}  // namespace vlk_test
