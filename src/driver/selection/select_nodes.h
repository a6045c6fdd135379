// Node selection: the genes of a nucleus around its seed gene, by random walks over the network of
// frequent edges, draws from the seed's 1-to-1 weights, draws by degree and uniform draws, all from
// the run's random numbers, so a process's selections follow from its seed.
//
// A selection is an array of unsigned 16-bit gene ids filled from position 0; c says how many are
// set. Every sampler takes the array and c, adds only ids not yet among the first c, and returns
// the new count.
#pragma once

#include "VLK_RNG.h"
#include "settings/args.h"

struct VLK_PCGraph;

// Writes module_size ids around seed into sel, by the method of -a, sorted ascending, and prints
// them to VELK_ERR (with a warning per repeated id). Requires 1 <= module_size <= nodes <= 65535
// (refused at start-up by select_check_settings), the whole network for -a 1 and 2, and the 1-to-1
// table when --oto is 0 or more.
void select_nodes(Args* args, unsigned short* sel, int seed);

// qsort order of gene ids: the difference of the two.
int ushort_cmp(const void* a, const void* b);

// Draws from the seed's row of the 1-to-1 table (row seed / P of n weights summing to 1): the seed
// first (into the last position when c already equals target > 0), then at most 2 * target draws of
// one uniform number each until target ids are set. A draw that the row cannot answer (a NaN row)
// is a uniform gene instead. sel must hold max(target, c + 1) ids.
int oto_sampling(int P, int n, const double* table, unsigned short* sel, int c, int target,
                 int seed, VLK_RNG* rng);
// The same with the weight of gene j degree(j) / (2E) + row[j] (E the edges of g; the degree term 0
// without edges), each draw a pair of uniform numbers of which the first, scaled to the total
// weight, decides.
int oto_sampling2(int P, int n, const double* table, unsigned short* sel, int c, int target,
                  int seed, const VLK_PCGraph* g, VLK_RNG* rng);
// Draws by degree plus one in g, one uniform number each, until target (<= n) ids are set.
int deg_sampling(const VLK_PCGraph* g, int n, unsigned short* sel, int c, int target, VLK_RNG* rng);

// Refuses, with an "ERROR: " line and exit status 1, sizes under which no selection can be made:
// more genes than 16-bit ids address, a module size below 1 or above the gene count. To be called
// on every process once the gene count is known (dynamic data without --Bnum is refused earlier,
// by parse_args).
void select_check_settings(const Args* args);

namespace vlk::select {

// "Selected nodes:" and the ids to VELK_ERR, with a warning after each id equal to the one before
// it.
void print_selection(const unsigned short* sel, int K);

}  // namespace vlk::select
