#include <mpi.h>

#include <cstdint>
#include <cstdlib>

#include "method/score_store.h"
#include "vlk_fatal.h"

namespace {

// The window and the node's communicator, freed when MPI ends (the attribute of
// MPI_COMM_SELF is deleted first thing in MPI_Finalize, on every process alike).
struct NodeWindow {
  MPI_Comm node;
  MPI_Win win;
};

int free_window(MPI_Comm, int, void* value, void*) {
  auto* w = static_cast<NodeWindow*>(value);
  MPI_Win_free(&w->win);
  MPI_Comm_free(&w->node);
  delete w;
  return MPI_SUCCESS;
}

}  // namespace

namespace vlk::store {

void* node_shared_block(std::size_t units, std::size_t unit_bytes,
                        const std::function<bool(int)>& fits,
                        const std::function<void(void*, std::size_t, std::size_t)>& clear) {
  MPI_Comm node;
  MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
  int rank = 0, size = 1;
  MPI_Comm_rank(node, &rank);
  MPI_Comm_size(node, &size);
  // The window is collective over the node: every process must take part or none.
  int yes = fits(size) ? 1 : 0, all = 0;
  MPI_Allreduce(&yes, &all, 1, MPI_INT, MPI_LAND, MPI_COMM_WORLD);
  if (all == 0) {
    MPI_Comm_free(&node);
    return nullptr;
  }
  const std::size_t bytes = units * unit_bytes;
  void* base = nullptr;
  auto* w = new NodeWindow{node, MPI_WIN_NULL};
  MPI_Win_allocate_shared(static_cast<MPI_Aint>(rank == 0 ? bytes : 0),
                          static_cast<int>(unit_bytes), MPI_INFO_NULL, node, &base, &w->win);
  MPI_Aint got = 0;
  int unit = 0;
  MPI_Win_shared_query(w->win, 0, &got, &unit, &base);
  if (static_cast<std::size_t>(got) < bytes)
    vlk::fatal("ERROR: the score store got %lld of %zu bytes of shared memory\n",
               static_cast<long long>(got), bytes);
  // Each process of the node prepares its part, then all wait for the whole block.
  const std::size_t part = units / static_cast<std::size_t>(size);
  const std::size_t first = part * static_cast<std::size_t>(rank);
  clear(base, first, rank + 1 == size ? units - first : part);
  MPI_Barrier(node);
  int key = MPI_KEYVAL_INVALID;
  MPI_Comm_create_keyval(MPI_COMM_NULL_COPY_FN, free_window, &key, nullptr);
  MPI_Comm_set_attr(MPI_COMM_SELF, key, w);
  return base;
}

}  // namespace vlk::store
