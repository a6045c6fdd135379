// The edge statistics tables and the exchange buffers, made once at start-up.
#include "exchange/edge_tables.h"

#include <cstdlib>
#include <new>

#include "VLK_PCGraph.h"
#include "VLK_Util.h"
#include "VLK_Util_jobs.h"
#include "exchange/exchange_work.h"
#include "velkcom.h"

namespace {

int* zeroed_table(size_t cells, const char* what) {
  // calloc(0) may answer null; an empty table still gets a block of its own.
  void* block = std::calloc(cells ? cells : 1, sizeof(int));
  if (block == nullptr)
    vlk::fatal("ERROR: Memory allocation failure (%s: %zu cells)\n", what, cells);
  return static_cast<int*>(block);
}

}  // namespace

GeneLayout Args_gene_layout(const Args* a) {
  return GeneLayout::make(a->nodes, a->processes, a->rank);
}

void edge_tables_alloc(Args* a) {
  int first = 0, own = 0;
  const div_t split = VLK_Util_job_split(a->nodes, a->processes, a->rank, &first, &own);
  const GeneLayout layout = Args_gene_layout(a);
  vlk::check(layout.own == own, "the job split's count is the number of genes owned here");
  a->first_gene = first;
  a->own_genes = own;
  a->split_q = split.quot;
  a->split_r = split.rem;
  a->row_length = static_cast<int>(layout.mrows);
  std::fprintf(VELK_ERR, "node_offset = %d, sub_nodes = %d, mrows = %d\n", first, own,
               a->row_length);

  std::fprintf(VELK_ERR, "Allocating memory space...\n");
  const size_t bytes = (layout.edge_cells() + layout.pair_cells()) * sizeof(int);
  Args_print_bytes(bytes);
  std::fprintf(VELK_ERR, " required for adjacent graphs.\n");
  Args_charge_memory(a, bytes, "the edge-count and pair-count tables");
  a->edge_counts = zeroed_table(layout.edge_cells(), "edge-count table");
  a->pair_counts = zeroed_table(layout.pair_cells(), "pair-count table");
}

void edge_tables_free(Args* a) {
  std::free(a->edge_counts);
  std::free(a->pair_counts);
  a->edge_counts = a->pair_counts = nullptr;
}

void exchange_buffers_new(Args* a) {
  constexpr const char* what = "exchange buffers";
  a->send_records = exchange::need(VLK_UShortArray_new(), what);
  a->recv_records = exchange::need(VLK_UShortArray_new(), what);
  a->send_values = exchange::need(VLK_FloatArray_new(), what);
  a->edge_values = exchange::need(VLK_FloatArray_new(), what);
  a->node_lists = exchange::need(VLK_UShortArray_new_ar(static_cast<size_t>(a->processes)), what);
  const auto genes = static_cast<size_t>(a->nodes);
  a->whole_network = exchange::need(VLK_PCGraph_new(genes), what);
  if (a->rank == 0) {
    a->gathered_network = exchange::need(VLK_PCGraph_new(genes), what);
    a->gathered_values = exchange::need(VLK_FloatArray_new(), what);
  }
  auto* work = exchange::need(new (std::nothrow) ExchangeWork, what);
  const auto P = static_cast<size_t>(a->processes);
  for (auto* v : {&work->send_counts, &work->send_displs, &work->recv_counts, &work->recv_displs})
    exchange::resize(*v, P, what);
  exchange::resize(work->sizes, 2 * P, what);
  exchange::resize(work->entries, static_cast<size_t>(a->module_size), what);
  const auto own = static_cast<size_t>(Args_gene_layout(a).own);
  exchange::resize(work->pair_starts, own + 1, what);
  exchange::resize(work->pair_fill, own + 1, what);
  // A gene has fewer children than there are genes, so staging never grows after this.
  exchange::growing(what, [&] {
    work->child_ids.reserve(genes);
    work->child_values.reserve(3 * genes);
  });
  a->exchange_work = work;
}

void exchange_buffers_delete(Args* a) {
  VLK_UShortArray_delete(a->send_records);
  VLK_UShortArray_delete(a->recv_records);
  VLK_FloatArray_delete(a->send_values);
  VLK_FloatArray_delete(a->edge_values);
  VLK_UShortArray_delete_ar(a->node_lists, static_cast<size_t>(a->processes));
  VLK_IntArray_delete_ar(a->exchange_lists, static_cast<size_t>(a->module_size));
  VLK_PCGraph_delete(a->whole_network);
  VLK_PCGraph_delete(a->gathered_network);
  VLK_FloatArray_delete(a->gathered_values);
  delete a->exchange_work;
  a->send_records = a->recv_records = nullptr;
  a->send_values = a->edge_values = nullptr;
  a->node_lists = nullptr;
  a->exchange_lists = nullptr;
  a->exchange_work = nullptr;
  a->whole_network = a->gathered_network = nullptr;
  a->gathered_values = nullptr;
}
