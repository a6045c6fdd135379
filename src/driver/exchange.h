// Edge statistics across processes: the collective steps that fold finished nuclei into the
// edge-count and pair-count tables (exchange_graph), and the start-up that makes those tables
// and the exchange buffers. The layout of the tables is in gene_layout.h.
//
// Every function here is collective over MPI_COMM_WORLD unless it says otherwise: every
// process calls it at the same point with the same arguments where they are shared (batch
// size, threshold). A buffer that cannot be had, or a transfer larger than an MPI count can
// say, ends every process through MPI_Abort with a message.
#pragma once

#include "VLK_Graph.h"
#include "args.h"
#include "gene_layout.h"

// The sort entry of one nucleus gene: the gene, the process that owns it, its position.
struct ex_t {
  unsigned short node;
  int owner;
  int index;
};

// Orders entries by owner, then gene: -1, 0 or 1 (a qsort comparator).
int ex_t_cmp(const void* a, const void* b);

GeneLayout Args_gene_layout(const Args* a);

// Start-up, after the data input has set the gene count: prints the layout line, allocates
// the two tables zeroed, prints their size and charges it to the memory budget.
void edge_tables_alloc(Args* a);
void edge_tables_free(Args* a);
// The exchange buffers of the run settings (and process 0's gathered network); all of them
// are reused by every exchange and keep their largest size.
void exchange_buffers_new(Args* a);
void exchange_buffers_delete(Args* a);

// Folds a batch of N nuclei into the tables: graphs[j] is nucleus j's graph over positions
// 0 .. K-1 (ignored for a dummy job), sel holds N rows of K gene ids (VLK_SelectedNodes).
// N must be the same on every process.
void exchange_graph(Args* args, VLK_Graph** graphs, const unsigned short* sel, int N);
