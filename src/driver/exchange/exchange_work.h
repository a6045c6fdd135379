// The parts of the exchanges that do not communicate: building the record streams, adding
// received records and selections into the tables, and the guards on buffers and MPI counts.
// The collective functions (exchange*_mpi.cpp) are these parts around the transfers; the
// tests drive the parts directly.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <new>
#include <vector>

#include "VLK_Graph.h"
#include "VLK_UShortArray.h"
#include "exchange/edge_records.h"
#include "exchange/gene_layout.h"
#include "exchange/network_gathering.h"
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

// Appends the edge records of the batch's real nuclei to the per-destination streams
// (streams[o] for process o): for every gene of a nucleus in owner, then gene order, one record
// of its parents and children among the nucleus's smaller genes. `children` holds K work
// lists, `entries` room for K entries. With `trace`, writes the debug lines there.
void build_edge_records(VLK_Graph* const* graphs, VLK_SelectedNodes sel, int P,
                        VLK_IntArray* children, ex_t* entries, VLK_UShortArray* streams,
                        FILE* trace);

// Adds the records received from every sender (sender k's at ids + displs[k], counts[k]
// ids) into the edge-count table E.
void accumulate_edge_records(const unsigned short* ids, const int* counts, const int* displs,
                             int senders, const GeneLayout& layout, int* E, FILE* trace);

// Adds the pairs of every real row of `rows` (senders x N rows, sender by sender) whose larger
// gene is owned here into the pair-count table PP.
void count_pairs(VLK_SelectedNodes rows, int N, const GeneLayout& layout, int* PP,
                 ExchangeWork& work, FILE* trace);

}  // namespace exchange
