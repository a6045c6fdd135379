// A program that meets an error as its first argument says, for the tests of how a run under
// mpirun ends (tests/driver/endings_progtest.cpp):
//   alike    every process meets it at the same step;
//   alone    process 1 meets it while the others wait for it in a barrier;
//   stray    process 2 alone meets it where every process was to meet it alike;
//   logs     as alike, each process writing to a log of its own named after the second argument.
#include <mpi.h>

#include <cstdio>
#include <string>

#include "velkcom.h"
#include "vlk_fatal.h"

int main(int argc, char** argv) {
  VLK_init();
  MPI_Init(&argc, &argv);
  vlk::mpi_endings_init();
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "logs" && argc > 2) {
    VELK_ERR = std::fopen((std::string(argv[2]) + "." + std::to_string(rank)).c_str(), "w");
    if (VELK_ERR == nullptr) return 2;
  }
  if (mode == "alike" || mode == "logs") {
    vlk::EveryProcessAlike scope;
    vlk::report("ERROR: said before the end\n");
    vlk::fatal("ERROR: refused alike: %d\n", 7);
  }
  if (mode == "alone" && rank == 1) vlk::fatal("ERROR: found by one process\n");
  if (mode == "stray") {
    vlk::EveryProcessAlike scope;
    if (rank == 2) vlk::fatal("ERROR: met by one process only\n");
  }
  MPI_Barrier(MPI_COMM_WORLD);
  MPI_Finalize();
  return 0;
}
