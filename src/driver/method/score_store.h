// The run's store of scores (VLK_ScoreStore.h): on static data, one table of the scores of
// every gene with no parent and with each other gene as its one parent, and with -M 2 or more a
// bounded store of parent sets, kept for the whole run and shared by the processes of a node.
// Each process charges its share of them to its memory budget; when a share does not fit, the
// run goes on without that part (the sets need the table), with the same results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "settings/args.h"

namespace vlk::store {

// Slots of the parent sets of a node.
inline constexpr std::size_t kSetSlots = std::size_t{1} << 22;

// A block of `bytes` for `node_processes` processes sharing it: each process's share (rounded
// up) and whether that share fits a budget of `budget` bytes.
struct Plan {
  std::uint64_t bytes;
  std::uint64_t share;
  bool fits;
};
Plan plan(std::uint64_t bytes, int node_processes, std::uint64_t budget);

// One block of `units` units of `unit_bytes` shared by the processes of this node, or null.
// Collective over all processes: `fits` is asked with the number of processes of the node, and
// the block is made only when it answers yes on every process; each process then prepares its
// part of the units with `clear` (base, first unit, count) before all go on. The block lives
// until MPI ends.
void* node_shared_block(std::size_t units, std::size_t unit_bytes,
                        const std::function<bool(int)>& fits,
                        const std::function<void(void*, std::size_t, std::size_t)>& clear);

}  // namespace vlk::store

// Sets up args->score_store for static data, says in the log what it holds and what this
// process is charged, or why the run goes without it. Collective over all processes; needs the
// data read and the edge tables charged.
void score_store_alloc(Args* args);
