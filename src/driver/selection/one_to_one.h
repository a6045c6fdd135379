// The whole-data 1-to-1 weights of the seed genes of this process: for an own gene t and every
// gene j, how strongly j is tied to t under the run's score on all the data. Node selection draws
// the genes of a nucleus from these rows.
#pragma once

#include "VLK_Score.h"
#include "exchange/gene_layout.h"
#include "settings/args.h"

// Fills args->oto_table, allocated on the first call: own_genes rows of nodes doubles, row l for
// gene t = l * processes + rank. Entry j is (max(0, base[t] - score(t | {j}))^10 +
// max(0, base[j] - score(j | {t}))^10) over the sum of these terms of the row, 0 for j = t; a row
// without any gain is NaN throughout. The score (the search arguments' record) is initialised on
// the whole data for the call, with at most one parent and the score level of --lv raised to 3
// (same scores, faster; lower when the budget demands), and released after it; the nucleus data
// set is borrowed for that and restored. Its scores go through the run's score store when there
// is one. Static data give the same table at every call, so only the first call computes it.
// Uses the threads of this process only (no MPI); every row is the same whatever their number.
void one_to_one(Args* args);

namespace vlk::oto {

// The score level of the whole-data state: --lv, raised to 3 (the smoothers stored), which
// scores the same bits several times faster; the score falls back from there as the budget
// demands.
int whole_data_level(int lv);

// The table of a score whose state already serves the whole data (layout.n genes), into
// layout.own rows of n doubles for the genes layout.gene(l), with base as n doubles of scratch.
// Scores with VLK_Score_threads(score) threads at most; prints the progress marks when marks is
// set.
void fill_table(VLK_Score* score, const GeneLayout& layout, double* table, double* base,
                bool marks);

}  // namespace vlk::oto
