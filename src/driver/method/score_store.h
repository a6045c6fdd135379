// The run's store of scores (VLK_ScoreStore.h): on static data, one table of the scores of
// every gene with no parent and with each other gene as its one parent, and with -M 2 or more a
// bounded store of parent sets, kept for the whole run and shared by the processes of a node.
//
// The store is an optimisation and never costs a run: the score's own tables get the memory
// budget first and the store only what is left; the node's block lives in a file of the
// shared-memory directory that process 0 of the node reserves whole before anyone touches it
// (a shortage is an error at once, never a bus error later), sized to what fits; and when any
// process cannot have its part, every process goes on without it (all or none), with the same
// results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "VLK_BNRC.h"
#include "settings/args.h"

namespace vlk::store {

// The most slots of the parent sets of a node (96 MiB), and the fewest worth keeping.
inline constexpr std::size_t kSetSlots = std::size_t{1} << 22;
inline constexpr std::size_t kFewestSetSlots = std::size_t{1} << 12;

// A block of `bytes` for `node_processes` processes sharing it: each process's share (rounded
// up) and whether that share fits a budget of `budget` bytes.
struct Plan {
  std::uint64_t bytes;
  std::uint64_t share;
  bool fits;
};
Plan plan(std::uint64_t bytes, int node_processes, std::uint64_t budget);

// The slots of the parent sets for a run of `genes` genes: a power of two from kFewestSetSlots
// to kSetSlots, enough for the sets such a run meets again.
std::size_t set_slots_wanted(int genes);
// The most slots, a power of two of at most `wanted`, whose block `bytes_of` fits `room`; 0
// when fewer than kFewestSetSlots would.
std::size_t set_slots_fitting(std::size_t wanted, std::uint64_t room);

// Bytes of the node's block: a header (the count of processes done clearing their parts, on a
// line of its own), the table's cells, the slots.
inline constexpr std::uint64_t kBlockHeaderBytes = 64;
std::uint64_t block_bytes(int genes, std::size_t set_slots);

// Bytes of the run's score that come before the store: the state a nucleus builds beside the
// store, at the level the budget left before the store gives it, and the whole-data 1-to-1
// table's state at its lowest level. 0 for a score other than BNRC.
std::uint64_t score_tables_bytes(const Args* a);
bool is_bnrc(const Args* a);
// What the whole-data 1-to-1 table's state would take with the score option "level" at
// `level` and a memory limit of `budget`.
VLK_BNRCPlan whole_table_plan(const Args* a, int level, std::uint64_t budget);

// Where the node's block lives: the directory OpenMPI keeps its shared-memory windows in
// (OMPI_MCA_osc_sm_backing_directory, as `mpirun --mca osc_sm_backing_directory DIR` sets it),
// else /dev/shm when it is a directory, else the temporary directory.
std::string backing_directory();
// Bytes free in a directory's file system (0 when it cannot be asked).
std::uint64_t free_bytes(const std::string& dir);

// A file of `bytes` reserved in `dir` (every block allocated now, so no later touch of a page
// can fail) and mapped shared. On failure nothing is left behind and `why` says what failed.
struct Reserved {
  int fd = -1;
  void* base = nullptr;
  std::string path;
  std::string why;
  bool short_of_space = false;  // the file system had not room enough for it
};
Reserved reserve_file(const std::string& dir, std::uint64_t bytes);
// The same file mapped by another process of the node.
Reserved map_file(const std::string& path, std::uint64_t bytes);

}  // namespace vlk::store

// Sets up args->score_store for static data, says in the log what it holds and what this
// process is charged, or why the run goes without it. Collective over all processes; needs the
// data read and the edge tables and the nucleus buffer charged.
void score_store_alloc(Args* args);
