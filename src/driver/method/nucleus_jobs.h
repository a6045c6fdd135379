// The nucleus job loop: one call runs one chunk of nucleus jobs shared by all processes. Each
// process estimates its share one nucleus after another (seed gene, node selection, nucleus
// data, score, search) and folds the graphs into the edge statistics in batches of
// --ex-int jobs, together with every other process.
#pragma once

#include "VLK_Graph.h"
#include "settings/args.h"

// Runs a chunk of c nucleus jobs over all processes (schedule: pass_plan.h). Collective: every
// process calls it with the same c. `counter` counts this process's real jobs over all calls
// and picks the seed genes: the own genes in increasing order, cycling. A chunk of no jobs
// (c <= 0) returns at once. Needs the start-up done (tables, buffers, the nucleus data set of
// module_size rows, the run's score record in the search arguments) and an algorithm id of 0
// (greedy version 1), 2 (version 2) or 1 (two-step); any other id ends every process with
// status 1 before the first pass.
void generate_nuclei(Args* args, int c, int* counter);

// The search of the current nucleus (the search arguments hold its data and score) by the
// run's algorithm id. The graph is the caller's; null when the search failed.
VLK_Graph* nucleus_search(Args* args);

// What generate_nuclei calls for each real job: nucleus_search, unless a test has put a
// stand-in of its own here.
using NucleusSearchFn = VLK_Graph* (*)(Args* args);
extern NucleusSearchFn generate_nuclei_search;
