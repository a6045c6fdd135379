// The prefix-tree score cache: wraps any score module in place and remembers every local score it
// computes, keyed by the child and the sorted parent set, in a tree of fixed-width nodes carved
// out of one pool whose size follows from a memory budget. Root c stands for child c; the score
// of c given a_1 < a_2 < ... < a_q sits in the node reached through the children keyed a_1,
// a_2, ..., a_q, so parent sets with a common sorted prefix share their path. A full node or an
// exhausted pool does not grow the cache: the score is computed and returned unstored.
//
// It has no lock: one thread at a time may score through it (the hash cache, VLK_ScoreCache3.h,
// serves concurrent callers). With the cache switched off, score only forwards, which any
// number of threads may do.
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_Score.h"

struct VLK_Data;
struct VLK_Network;
struct VLK_KeyValues;

// A node of the pool. 32 bytes, the figure the init message reports.
struct ScoreCache2Node {
  int key;                    // the node index it stands for; -1 in a free node
  ScoreCache2Node* children;  // its block of `width` child slots, sorted by key; null until used
  double score;               // the stored local score; DBL_MAX for none
  int count;                  // child slots in use, 0 .. width
};

// The cache record: the state of the wrapped VLK_Score.
struct ScoreCache2 {
  int enabled;            // 0 passes every call through
  ScoreCache2Node* pool;  // `nodes` nodes in one block; the first `roots` are the roots
  size_t used;            // nodes in use: the roots and every block handed out
  size_t nodes;           // pool size in nodes
  int width;              // child slots of a node, (int)(1.5 * bound)
  int* sorted;            // `width` ints: the sorted parents of the current call
  VLK_Score* copy;        // the wrapped record as it was before wrapping
  double (*score)(void* state, int child, int* parents, int q);  // the wrapped score slot
  void* state;                                                   // the wrapped module's state
  int roots;  // children the tree has roots for (the data set's node count)
};

// Wraps score in place and returns it. bound is the largest number of different parents one
// node can meet (the callers pass the parent candidates), max_memory the budget of the pool and
// the sort buffer, p the node count of the data set. A budget that cannot hold the sort buffer
// and the p roots ends the process with status 1, as does a failed allocation.
VLK_Score* ScoreCache2_init(VLK_Score* score, int bound, size_t max_memory, int p);

// The slots installed in the wrapped record.
double ScoreCache2_score(ScoreCache2* rec, int child, int* parents, int q);
void ScoreCache2_finalize(ScoreCache2* rec);
// The wrapped module's prop, after rescoring the same child and parents on the calling thread
// (prop describes the fit of the latest score call, which a cache hit never made).
VLK_KeyValues* ScoreCache2_prop(ScoreCache2* rec, int child, int* parents, int q, int k);
void ScoreCache2_cache(ScoreCache2* rec, int on);
void ScoreCache2_status(ScoreCache2* rec, FILE* fp);
void ScoreCache2_reinit(VLK_Data* data, ScoreCache2* rec);
void ScoreCache2_evaluate(ScoreCache2* rec, VLK_Network* net);

// Ascending order of the parents (negative, zero or positive; never overflows).
int ScoreCache2_int_cmp(const int* a, const int* b);
// Lower bound of key among the node's children: the first position whose key is not below it.
int ScoreCache2_search(const ScoreCache2Node* node, int key);
// Resets n nodes to free: key -1, no children, no score, no child slots in use.
void ScoreCache2_clear(ScoreCache2Node* nodes, size_t n);
