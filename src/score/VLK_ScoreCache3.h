// The hash score cache: the thread-safe score cache. It wraps any score module in place, like
// the prefix-tree cache, but keeps the local scores in an open-addressing table of fixed-size
// slots (the child, its sorted parents, the score) whose size follows from a memory budget.
// Every comparison and insertion takes the cache's one lock; the missing scores are computed
// outside it, each thread sorting in a buffer of its own, so that the parallel searches can
// share the cache. A crowded table returns the computed score without storing it.
//
// A slot is written only while free, under the lock, and its key is published last (release):
// a thread that reads the key without the lock (acquire) and finds it taken sees the whole
// slot, which never changes again until a reinit.
#pragma once

#include <omp.h>

#include <cstddef>
#include <cstdio>

#include "VLK_Score.h"

struct VLK_Data;
struct VLK_Network;
struct VLK_KeyValues;

// A slot of the table: 32 bytes plus its share of the parent block. A free slot is all zero, so
// that a table fresh from calloc is free without a write: the pages of a large table are only
// touched as the cache fills them (a nucleus job makes a cache of hundreds of MiB).
struct VLK_ScoreCache3Slot {
  int key;       // the child + 1; 0 marks a free slot
  int* parents;  // max_parents ints of the parent block (set when stored): the sorted parents
  int count;     // the number of parents stored
  double score;  // the stored local score
};

// The cache record: the state of the wrapped VLK_Score.
struct VLK_ScoreCache3 {
  int enabled;      // 0 passes every call through (sorted)
  VLK_Score* copy;  // the wrapped record as it was before wrapping
  double (*score)(void* state, int child, int* parents, int q);  // the wrapped score slot
  void* state;                                                   // the wrapped module's state
  int probe_limit;             // slots compared by one lookup (100)
  size_t slots;                // slots of the table
  size_t stored;               // insertions since init
  VLK_ScoreCache3Slot* table;  // the slots
  int p;                       // node count of the data set: the base of the hash
  int max_parents;             // largest parent set stored; parents per slot and per thread
  int threads;                 // sort buffers
  omp_lock_t lock;             // the one lock of the cache
  int** sort;                  // per thread max_parents ints, all in sort_block
  int* sort_block;             // threads x max_parents ints
  int* parent_block;           // slots x max_parents ints: slot i at i * max_parents
};

// Wraps score in place and returns it. p is the node count of the data set, max_parents the
// largest parent set to store, max_memory the budget of the table and the sort buffers, threads
// the number of threads that may score at once (the record's thread count is lowered to it).
// A budget below the sort buffers or below one slot beyond them, and a failed allocation, end
// the process with status 1.
VLK_Score* VLK_ScoreCache3_init(VLK_Score* score, int p, int max_parents, size_t max_memory,
                                int threads);

// The slots installed in the wrapped record.
double VLK_ScoreCache3_score(VLK_ScoreCache3* rec, int child, int* parents, int q);
void VLK_ScoreCache3_finalize(VLK_ScoreCache3* rec);
void VLK_ScoreCache3_cache(VLK_ScoreCache3* rec, int on);
// The wrapped module's prop, after rescoring the same child and parents on the calling thread
// (prop describes the fit of the latest score call, which a cache hit never made).
VLK_KeyValues* VLK_ScoreCache3_prop(VLK_ScoreCache3* rec, int child, int* parents, int q, int k);
void VLK_ScoreCache3_status(VLK_ScoreCache3* rec, FILE* fp);
void VLK_ScoreCache3_reinit(VLK_Data* data, VLK_ScoreCache3* rec);
void VLK_ScoreCache3_evaluate(VLK_ScoreCache3* rec, VLK_Network* net);

// Under the lock: 1 when slot s holds child with exactly the q parents of sorted, else 0.
int VLK_ScoreCache3_check(omp_lock_t* lock, VLK_ScoreCache3Slot* s, int child, int* sorted, int q);
// Ascending order of the parents (negative, zero or positive; never overflows).
int VLK_ScoreCache3_int_cmp(const int* a, const int* b);
