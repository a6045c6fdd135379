// The edge statistics of this process and the buffers of their exchanges, made once at
// start-up: the edge-count and pair-count tables (their layout is in gene_layout.h), the
// record and value buffers, the walk network over all genes and, on process 0, the gathered
// network. Everything here runs on each process alone.
#pragma once

#include "exchange/gene_layout.h"
#include "settings/args.h"

// Where this process's genes and their statistics live.
GeneLayout Args_gene_layout(const Args* a);

// Start-up, after the data input has set the gene count: prints the layout line, allocates
// the two tables zeroed, prints their size and charges it to the memory budget.
void edge_tables_alloc(Args* a);
void edge_tables_free(Args* a);
// The exchange buffers of the run settings, the walk network over all genes and, on process 0,
// the gathered network; all of them are reused by every exchange and keep their largest size.
void exchange_buffers_new(Args* a);
void exchange_buffers_delete(Args* a);
