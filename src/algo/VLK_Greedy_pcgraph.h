// Greedy hill climbing restricted to the edges of a skeleton network, on a parent-child graph
// whose incremental topological order answers the cycle tests.
//
// The skeleton is a "VLK3" file (greedy option "skeleton"); its node positions are the data
// set's. Every trial climbs from the same start graph: the whole skeleton, which must then be
// acyclic, or with "dag" the acyclic subgraph of the skeleton edges whose weight (the edge
// property "BS Prob") reaches "dag_th", heaviest first. In a pass every child, in the order of
// VLK_Util_random_perm, takes the one best move with a score change below 0: removing a parent,
// reversing an edge into it when the skeleton holds the reverse edge, or adding a skeleton
// parent. No parent limit applies. A trial makes at most "max_loops" passes.
#pragma once

#include "OTO_PK.h"
#include "VLK_AlgoArgs.h"
#include "VLK_IntArray.h"
#include "VLK_Network.h"
#include "VLK_PCGraph.h"
#include "VLK_Score.h"

// The search over the skeleton; a new network named after the data set's nodes, owned by the
// caller. A missing or cyclic skeleton (without "dag"), or one with more nodes than the data
// set, ends the process with status 1.
VLK_Network* VLK_Greedy_on_pcgraph(VLK_AlgoArgs* a);

// One pass over the n children of W (order kept beside W), the moves limited to skeleton S.
// dynamic: no additions, and a reversal needs only that W lacks the reverse edge. tmp holds three
// scratch lists; node_scores the local score of every child in W, updated with every move.
// Returns the number of children that took a move.
int VLK_Greedy_one_pcgraph(int n, const VLK_PCGraph* S, VLK_PCGraph* W, OTO_PK* order, int dynamic,
                           VLK_IntArray* tmp, VLK_Score* score, double* node_scores);
