#include <mpi.h>

#include <chrono>
#include <thread>

#include "vlk_fatal.h"

namespace vlk {

namespace {

// The endings' own communicator (MPI_COMM_WORLD until mpi_endings_init has run).
MPI_Comm endings = MPI_COMM_NULL;

// How long the processes that met an error alike wait for the others. They meet it at the
// same step of start-up, within moments of each other; a process that is still missing
// after this long has gone on without the error.
constexpr auto kGracePeriod = std::chrono::seconds(10);

bool running() {
  int initialized = 0, finalized = 0;
  MPI_Initialized(&initialized);
  MPI_Finalized(&finalized);
  return initialized && !finalized;
}

}  // namespace

MpiPlace mpi_place() {
  if (!running()) return {false, 0, 1};
  MpiPlace p{true, 0, 1};
  MPI_Comm_rank(MPI_COMM_WORLD, &p.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &p.processes);
  return p;
}

void mpi_abort_if_running(int code) {
  if (running()) MPI_Abort(MPI_COMM_WORLD, code);
}

void mpi_endings_init() {
  if (running() && endings == MPI_COMM_NULL) MPI_Comm_dup(MPI_COMM_WORLD, &endings);
}

bool mpi_leave_together() {
  MPI_Comm comm = endings != MPI_COMM_NULL ? endings : MPI_COMM_WORLD;
  MPI_Request request;
  MPI_Ibarrier(comm, &request);
  const auto deadline = std::chrono::steady_clock::now() + kGracePeriod;
  for (int done = 0;;) {
    MPI_Test(&request, &done, MPI_STATUS_IGNORE);
    if (done) break;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  MPI_Finalize();
  return true;
}

}  // namespace vlk
