// Two-step searches built on greedy hill climbing version 1, the forerunners of TwoStepHC.
//
// VLK_Greedy_two_step: the option "parent" names a first set of nodes. Step 1 runs version 1
// with only first-set nodes as parents and no reversals, under the caller's score module; step 2
// keeps that network as fixed edges and runs version 1 again with every parent allowed, "p"
// candidates and "m" parents at most (default: the caller's), under a new "BNRC" module with the
// options "sc", wrapped by a 100 MiB prefix-tree cache.
//
// VLK_Greedy_two_step_old: the option "firstset" names the first set. It builds a second search
// record with its own cached "BNRC" module (options "firstsc") that nothing uses further, takes
// its keys out of the option list, and returns version 1 on the caller's record.
#pragma once

#include "VLK_AlgoArgs.h"
#include "VLK_Graph.h"
#include "VLK_Score.h"

// The step-2 graph, owned by the caller; null when a version-1 search fails to allocate. The
// step-1 module is finalized and its record freed; `score` then holds the step-2 module, which
// the caller finalizes. The option list loses "p", "m", "sc", "parent" and "rev"; candidates and
// max_parents keep the step-2 values; the caller's fixed graph is put back. The step-2 module is
// made for max(m, the caller's max_parents) parents, as many as the step-1 edges may give a node.
VLK_Graph* VLK_Greedy_two_step(VLK_AlgoArgs* a, VLK_ScoreArgs* sa);
// Version 1 on a, after the option list lost "firstset", "p", "m" and "firstsc".
VLK_Graph* VLK_Greedy_two_step_old(VLK_AlgoArgs* a, VLK_ScoreArgs* sa);
