// The collective step that folds finished nuclei into the edge statistics (exchange_graph):
// every process routes the edges of its nuclei to the owners of their genes as edge records
// (edge_records.h), adds the records it receives into its edge-count table, then counts the
// gene pairs of every nucleus of the batch into its pair-count table. The parts that do not
// communicate are declared here too; the tests drive them directly.
//
// exchange_graph is collective over MPI_COMM_WORLD: every process calls it at the same point
// with the same batch size. A buffer that cannot be had, or a transfer larger than an MPI
// count can say, ends every process through MPI_Abort with a message.
#pragma once

#include <cstdio>

#include "VLK_Graph.h"
#include "VLK_IntArray.h"
#include "VLK_UShortArray.h"
#include "exchange/edge_records.h"
#include "exchange/gene_layout.h"
#include "settings/args.h"

struct ExchangeWork;

// The sort entry of one nucleus gene: the gene, the process that owns it, its position.
struct ex_t {
  unsigned short node;
  int owner;
  int index;
};

// Orders entries by owner, then gene: -1, 0 or 1 (a qsort comparator).
int ex_t_cmp(const void* a, const void* b);

// Folds a batch of N nuclei into the tables: graphs[j] is nucleus j's graph over positions
// 0 .. K-1 (ignored for a dummy job), sel holds N rows of K gene ids (VLK_SelectedNodes).
// N must be the same on every process.
void exchange_graph(Args* args, VLK_Graph** graphs, const unsigned short* sel, int N);

namespace exchange {

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
