// What the exchanges share: their scratch beyond the run settings' buffers, the progress time
// text, and the guards on growing buffers and on MPI counts.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <new>
#include <vector>

#include "exchange/graph_exchange.h"
#include "vlk_fatal.h"

// Scratch of the exchanges that the run settings do not name, reused by every call.
struct ExchangeWork {
  std::vector<ex_t> entries;  // one nucleus's genes, sorted by owner
  std::vector<int> send_counts, send_displs, recv_counts, recv_displs;  // one per process
  std::vector<int> sizes;                                               // two per process
  std::vector<unsigned short> child_ids;  // the current gene's child ids while collecting
  std::vector<float> child_values;        // and their values (room for every gene made once)
  std::vector<int> pair_starts, pair_fill, pair_items;  // selections grouped by owned gene
};

namespace exchange {

// The ctime text of now (ends in a newline), for the progress lines.
inline const char* now_text() {
  const std::time_t now = std::time(nullptr);
  return std::ctime(&now);
}

// The pointer a growing call returned, or the end of every process when it is null.
template <class T>
T* need(T* grown, const char* what) {
  if (grown == nullptr) vlk::fatal("ERROR: %s: memory allocation failure.\n", what);
  return grown;
}

// Runs a call that grows scratch vectors; ends every process when the memory is not there.
template <class Grow>
void growing(const char* what, Grow&& grow) {
  try {
    grow();
  } catch (const std::bad_alloc&) {
    vlk::fatal("ERROR: %s: memory allocation failure.\n", what);
  }
}

template <class V>
void resize(V& v, size_t n, const char* what) {
  growing(what, [&] { v.resize(n); });
}

// n as an MPI count; a transfer an int cannot count ends every process.
int mpi_count(size_t n, const char* what);

// displs[k] = counts[0] + ... + counts[k-1]; returns the total, which must fit an MPI
// displacement as well (`what` names the buffer).
int prefix_sums(const int* counts, int* displs, int n, const char* what);

}  // namespace exchange
