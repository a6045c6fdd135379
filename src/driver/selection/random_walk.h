// Random walks over the network of frequent edges, for node selection: from the seed, each step
// picks a neighbour of the current gene with probability proportional to the edge's value and takes
// it into the selection when it passes an acceptance test.
#pragma once

#include "VLK_RNG.h"
#include "VLK_UShortArray.h"

struct VLK_PCGraph;

// Appends the seed to sel[0 .. c-1] when absent, then walks at most `steps` steps over g (edge
// values w by edge index). Each step draws two uniform numbers u0, u1: the neighbour (parents, then
// children, in list order) whose running single-precision weight sum first exceeds u0 * (total
// weight) is picked, and it is taken when u1 < (1 + pr) - degree / (2 * edges). The walk moves to
// every pick and stops at an accepted pick once target ids are set. Returns the count; never writes
// beyond K ids (target above K counts as K).
int random_walk(const VLK_PCGraph* g, const VLK_FloatArray* w, unsigned short* sel, int K,
                int target, int c, int steps, int seed, double pr, VLK_RNG* rng);
// The same with the acceptance bound (1 + pr) - degree / (sum of the degrees of all neighbours of
// the current gene).
int random_walk2(const VLK_PCGraph* g, const VLK_FloatArray* w, unsigned short* sel, int K,
                 int target, int c, int steps, int seed, double pr, VLK_RNG* rng);
