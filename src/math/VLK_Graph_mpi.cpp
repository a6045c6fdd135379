#include "VLK_Graph_mpi.h"

#include "VLK_Array_mpi.h"
#include "vlk_fatal.h"

void VLK_Graph_Bcast(VLK_Graph** g, int root, MPI_Comm comm) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  if (rank == root) {
    VLK_IntArray_MPI_Bcast_ar(&(*g)->parents, &(*g)->n, root, comm);
    return;
  }
  // A record like VLK_Graph_new's whose lists are those received.
  VLK_Graph* received = VLK_Graph_new(0);
  if (received == nullptr)
    vlk::fatal("FATAL ERROR: VLK_Graph_Bcast(): failed to allocate memory.\n");
  VLK_IntArray_delete_ar(received->parents, 0);
  received->parents = nullptr;
  VLK_IntArray_MPI_Bcast_ar(&received->parents, &received->n, root, comm);
  *g = received;
}
