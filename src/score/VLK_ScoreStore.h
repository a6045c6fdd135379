// The run's store of scores. On static data a nucleus holds its genes' rows with all samples
// unchanged, and the local score of a child with no parent or with one parent depends on those
// rows and the options alone: every nucleus that meets the pair, and the whole-data 1-to-1
// table, compute the same double. The store keeps that double once per run, keyed by gene ids,
// and every later call of the pair reads it.
//
// The table: genes x genes cells of score bits, cell (child, parent) at child * genes + parent,
// the diagonal cell (c, c) for c with no parent (a gene is never its own parent on static
// data). A cell holds VLK_SCORE_STORE_UNFILLED until the first score of its pair lands. Several
// threads, and the processes of a node sharing one table, fill and read it at once: each cell is
// read and written as one 8-byte atomic, and every writer of a cell writes the same bits, so no
// lock is needed.
//
// Beside the table, an optional bounded store of parent sets of two or three parents. Backfitting
// visits the parents in list order, so their order is part of the key (the same set in another
// order may score differently). Each slot holds one key and its score behind a sequence count
// (odd while a writer fills it); a new key takes its slot from the one before, and a reader that
// sees the count change meanwhile takes the slot as empty.
//
// The wrapper is a score module over any module, like the score caches: it maps the module's node
// positions (a nucleus) to gene ids and answers the calls of the stored keys from the store,
// passing every other call on. What it returns is always the double the wrapped score computes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "VLK_Score.h"

struct VLK_Data;
struct VLK_Network;
struct VLK_KeyValues;

// A NaN with a payload that arithmetic never produces: no score computation yields these bits.
inline constexpr std::uint64_t VLK_SCORE_STORE_UNFILLED = 0x7ff85c0e00000001ULL;

// A slot of the parent sets: 24 bytes, all zero when empty.
struct VLK_ScoreSetSlot {
  std::uint64_t seq;   // even when the slot is whole, odd while a writer fills it
  std::uint64_t key;   // VLK_ScoreStore_set_key of the child and its parents; 0 for none
  std::uint64_t bits;  // the score
};

// The store (not owning its blocks: the driver places them, node-shared or private).
struct VLK_ScoreStore {
  std::uint64_t* cells;    // genes x genes score bits
  int genes;               // below 65535
  VLK_ScoreSetSlot* sets;  // set_slots zeroed slots, or null
  std::size_t set_slots;   // a power of two, or 0
};

// Cells and bytes of the table of `genes` genes.
std::size_t VLK_ScoreStore_cells(int genes);
std::size_t VLK_ScoreStore_bytes(int genes);
// Marks `count` cells from `first` unfilled.
void VLK_ScoreStore_clear(std::uint64_t* cells, std::size_t first, std::size_t count);
// 1 with the stored score of child given parent (child itself: no parent) in *out, else 0.
int VLK_ScoreStore_get(const VLK_ScoreStore* store, int child, int parent, double* out);
// Stores a computed score of the pair; bits equal to the unfilled marker are left out.
void VLK_ScoreStore_put(const VLK_ScoreStore* store, int child, int parent, double score);
// The key of a child gene and its q gene ids in their order: never 0 for q of 2 or 3, the
// parent sets the store keeps; 0 for any other q.
std::uint64_t VLK_ScoreStore_set_key(int child, const int* parents, int q);
// 1 with the stored score of a key in *out, else 0.
int VLK_ScoreStore_get_set(const VLK_ScoreStore* store, std::uint64_t key, double* out);
// Stores a computed score of a key in its slot (unless another writer holds the slot).
void VLK_ScoreStore_put_set(const VLK_ScoreStore* store, std::uint64_t key, double score);
// 1 when the genes genes[0 .. p-1] are distinct and every cell among them (every ordered pair
// and every empty set) is filled, else 0.
int VLK_ScoreStore_covers(const VLK_ScoreStore* store, const unsigned short* genes, int p);

// What the wrapper counts on each thread, on a cache line of its own.
struct alignas(64) VLK_StoredScoreTally {
  std::uint64_t calls;      // score calls of the table's pairs
  std::uint64_t hits;       // of them, answered from the table
  std::uint64_t set_calls;  // score calls of parent sets the store keeps
  std::uint64_t set_hits;   // of them, answered from the store
};

// The wrapper record: the state of the wrapped VLK_Score.
struct VLK_StoredScore {
  VLK_Score* copy;  // the wrapped record as it was before wrapping
  double (*score)(void* state, int child, int* parents, int q);  // the wrapped score slot
  void* state;                  // the wrapped module's state; null when every call is a stored pair
  const VLK_ScoreStore* store;  // null after a reinit: every call is passed on
  const unsigned short* genes;  // gene id of every node position; null for the identity
  int p;                        // node positions of the wrapped module
  int threads;                  // tallies
  VLK_StoredScoreTally* tallies;  // per thread
  int* set_genes;                 // per thread 3 ints: the gene ids of a parent set
};

// Wraps score in place and returns it. genes maps the module's p node positions to gene ids
// (kept, not copied; null: position i is gene i). A state of null is allowed when the store
// covers every call the module will get (VLK_ScoreStore_covers with at most one parent): a call
// it cannot answer then ends the process as a broken contract.
VLK_Score* VLK_ScoreStore_wrap(VLK_Score* score, const VLK_ScoreStore* store,
                               const unsigned short* genes, int p);

// The slots installed in the wrapped record.
double VLK_StoredScore_score(VLK_StoredScore* rec, int child, int* parents, int q);
// The status lines of what the wrapper counted, then the wrapped module's finalize.
void VLK_StoredScore_finalize(VLK_StoredScore* rec);
// The store has no switch: the 1-to-1 tables that switch caches off are what fills it.
void VLK_StoredScore_cache(VLK_StoredScore* rec, int on);
// The wrapped module's prop, after scoring the same child and parents on the calling thread.
VLK_KeyValues* VLK_StoredScore_prop(VLK_StoredScore* rec, int child, int* parents, int q, int k);
void VLK_StoredScore_status(VLK_StoredScore* rec, FILE* fp);
// A state re-targeted at other data no longer matches the gene ids: the store is let go.
void VLK_StoredScore_reinit(VLK_Data* data, VLK_StoredScore* rec);
void VLK_StoredScore_evaluate(VLK_StoredScore* rec, VLK_Network* net);
