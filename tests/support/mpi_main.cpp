// Test main for the MPI test programs: every rank runs every test; only rank 0 reports, and
// the run fails when any rank failed.
#include <gtest/gtest.h>
#include <mpi.h>

#include "velkcom.h"

int main(int argc, char** argv) {
  VLK_init();
  MPI_Init(&argc, &argv);
  testing::InitGoogleTest(&argc, argv);
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  if (rank != 0) {
    auto& listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
  }
  int failed = RUN_ALL_TESTS() != 0;
  int any_failed = 0;
  MPI_Allreduce(&failed, &any_failed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  MPI_Finalize();
  return any_failed;
}
