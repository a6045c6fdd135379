#include <limits.h>
#include <mpi.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "VLK_ScoreStore.h"
#include "method/score_store.h"
#include "selection/one_to_one.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

using vlk::store::Reserved;

struct Node {
  MPI_Comm comm = MPI_COMM_NULL;
  int rank = 0;
  int size = 1;
};

Node this_node() {
  Node n;
  MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &n.comm);
  MPI_Comm_rank(n.comm, &n.rank);
  MPI_Comm_size(n.comm, &n.size);
  return n;
}

// What process 0 of a node tells the others of the block it reserved.
struct Made {
  int ok;
  std::uint64_t slots;
  char path[PATH_MAX];
  char why[768];  // when not ok: the WARNING's account of what was asked, where, and why not
};

void copy_text(char* to, std::size_t size, const std::string& text) {
  std::snprintf(to, size, "%s", text.c_str());
}

std::string shortage(std::uint64_t bytes, const std::string& where, const std::string& why,
                     std::uint64_t free) {
  return Args_bytes_text(bytes) + " of shared memory asked for in " + where +
         " could not be had: " + why + " (" + Args_bytes_text(free) + " free there)";
}

// A reservation of `bytes` in `dir`. Two jobs reserving at once can each take part of the
// space and then both give it back: while the space is there after a failure, a few more tries
// after a wait of its own for each job let one of them have it.
Reserved reserve(const std::string& dir, std::uint64_t bytes) {
  std::minstd_rand wait(static_cast<unsigned>(getpid()));
  Reserved r = vlk::store::reserve_file(dir, bytes);
  for (int attempt = 0; attempt < 3 && r.short_of_space; ++attempt) {
    if (vlk::store::free_bytes(dir) < bytes) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + wait() % 200));
    r = vlk::store::reserve_file(dir, bytes);
  }
  return r;
}

// Process 0 of the node: the block in the shared-memory directory, the parent sets sized down
// to at most half of what the table leaves free there (other jobs of the node need some too),
// and without them when even that fails.
Reserved reserve_block(int genes, std::uint64_t* slots, Made* m) {
  const std::string dir = vlk::store::backing_directory();
  const std::uint64_t free = vlk::store::free_bytes(dir);
  const std::uint64_t table = vlk::store::block_bytes(genes, 0);
  if (*slots != 0)
    *slots = vlk::store::set_slots_fitting(*slots, free > table ? (free - table) / 2 : 0);
  Reserved r = reserve(dir, vlk::store::block_bytes(genes, *slots));
  if (r.base == nullptr && *slots != 0) {
    *slots = 0;
    r = reserve(dir, table);
  }
  m->ok = r.base != nullptr ? 1 : 0;
  m->slots = *slots;
  copy_text(m->path, sizeof m->path, r.path);
  // What is free now: another job of the node may have taken some since.
  if (r.base == nullptr)
    copy_text(m->why, sizeof m->why, shortage(table, dir, r.why, vlk::store::free_bytes(dir)));
  return r;
}

// Each process of the node prepares its part of `units` units; all then wait for the whole
// block. The parts are plain stores: the release of each process's count and the acquire of
// the full count order them before any process's first use, on every CPU.
template <class Fill>
void clear_part(const Node& node, std::size_t units, Fill&& fill) {
  const std::size_t part = units / static_cast<std::size_t>(node.size);
  const std::size_t first = part * static_cast<std::size_t>(node.rank);
  fill(first, node.rank + 1 == node.size ? units - first : part);
}

void line(const char* what, const vlk::store::Plan& p, int processes) {
  std::fprintf(VELK_ERR, "Score store: %s %s, shared by %d processes of this node; share %s.\n",
               what, Args_bytes_text(p.bytes).c_str(), processes, Args_bytes_text(p.share).c_str());
}

std::uint64_t mib_up(std::uint64_t bytes) { return (bytes + (1u << 20) - 1) >> 20; }

// A WARNING of process 0 that costs the run time: in the log and on the terminal.
template <class... T>
void warn(const Args* a, const char* fmt, T... values) {
  if (a->rank == 0) vlk::report(fmt, values...);
}

void over_budget(const Args* a, const char* what, std::uint64_t left, std::uint64_t share) {
  warn(a,
       "Score store: WARNING: the memory budget left after the score's tables (%s) holds no "
       "share of the %s (%s per process); running without the %s, so that every nucleus scores "
       "what it could have read (%llu MiB more in --total-mem would hold it).\n",
       Args_bytes_text(left).c_str(), what, Args_bytes_text(share).c_str(), what,
       static_cast<unsigned long long>(mib_up(share - std::min(share, left))));
}

// The store's share may leave the whole-data 1-to-1 table's state a lower level than the
// budget would give it alone: the table, computed once, takes longer.
void whole_table_level(const Args* a, const VLK_BNRCPlan& alone) {
  if (!vlk::store::is_bnrc(a) || a->oto_interval < 0) return;
  const VLK_BNRCPlan beside = vlk::store::whole_table_plan(a, alone.asked_level, a->memory);
  if (beside.level >= alone.level) return;
  const VLK_BNRCPlan keep = vlk::store::whole_table_plan(a, alone.level, UINT64_MAX);
  warn(a,
       "Score store: WARNING: beside the store the whole-data 1-to-1 table's score takes level "
       "%d instead of %d, which computes the table (once) more slowly (%llu MiB more in "
       "--total-mem would keep level %d).\n",
       beside.level, alone.level,
       static_cast<unsigned long long>(mib_up(keep.bytes - std::min(keep.bytes, a->memory))),
       alone.level);
}

}  // namespace

void score_store_alloc(Args* a) {
  // Dynamic data resample every nucleus: no two nuclei see the same rows.
  if (a->algo_args->dynamic) {
    std::fprintf(VELK_ERR, "Score store: not used with dynamic data.\n");
    return;
  }
  Node node = this_node();
  const VLK_BNRCPlan whole_alone =
      vlk::store::is_bnrc(a) && a->oto_interval >= 0
          ? vlk::store::whole_table_plan(a, vlk::oto::whole_data_level(a->score_level), a->memory)
          : VLK_BNRCPlan{0, 0, 0};
  // The score's own tables come first; the store has what they leave.
  const std::uint64_t need = vlk::store::score_tables_bytes(a);
  const std::uint64_t left = a->memory > need ? a->memory - need : 0;
  const int genes = a->nodes;
  const vlk::store::Plan table = vlk::store::plan(VLK_ScoreStore_bytes(genes), node.size, left);
  const bool sets_wanted = a->algo_args->max_parents >= 2;
  std::uint64_t agreed[2] = {table.fits ? 1u : 0u, 0};
  if (table.fits && sets_wanted) {
    const std::uint64_t room = (left - table.share) * static_cast<std::uint64_t>(node.size);
    agreed[1] = vlk::store::set_slots_fitting(vlk::store::set_slots_wanted(genes), room);
  }
  // One shape on every process: the table everywhere or nowhere, and the fewest slots.
  MPI_Allreduce(MPI_IN_PLACE, agreed, 2, MPI_UINT64_T, MPI_MIN, MPI_COMM_WORLD);
  line("table", table, node.size);
  if (agreed[0] == 0) {
    over_budget(a, "table", left, table.share);
    MPI_Comm_free(&node.comm);
    return;
  }
  if (sets_wanted && agreed[1] == 0)
    over_budget(
        a, "parent sets", left - table.share,
        vlk::store::plan(vlk::store::kFewestSetSlots * sizeof(VLK_ScoreSetSlot), node.size, 0)
            .share);

  Made made{};
  std::uint64_t slots = agreed[1];
  Reserved mine;
  if (node.rank == 0) mine = reserve_block(genes, &slots, &made);
  MPI_Bcast(&made, sizeof made, MPI_BYTE, 0, node.comm);
  if (agreed[1] != 0 && made.ok != 0 && made.slots == 0)
    warn(a,
         "Score store: WARNING: no room for the parent sets in the shared-memory directory; "
         "running without them.\n");
  slots = made.slots;
  const std::uint64_t bytes = vlk::store::block_bytes(genes, slots);
  if (node.rank != 0 && made.ok != 0) {
    mine = vlk::store::map_file(made.path, bytes);
    if (mine.base == nullptr)
      copy_text(made.why, sizeof made.why,
                shortage(bytes, made.path, mine.why, vlk::store::free_bytes(made.path)));
  }
  // Every process of the node has the file mapped or has given up: its name can go, and the
  // memory lives as long as a mapping.
  MPI_Barrier(node.comm);
  if (node.rank == 0 && made.ok != 0) unlink(made.path);
  if (mine.fd >= 0) close(mine.fd);

  // All or none: the first process without its block says why.
  struct {
    int ok;
    int rank;
  } own{mine.base != nullptr ? 1 : 0, a->rank}, first{};
  MPI_Allreduce(&own, &first, 1, MPI_2INT, MPI_MINLOC, MPI_COMM_WORLD);
  if (first.ok == 0) {
    MPI_Bcast(made.why, sizeof made.why, MPI_CHAR, first.rank, MPI_COMM_WORLD);
    if (a->rank == 0)
      std::fprintf(VELK_ERR, "Score store: WARNING: %s; running without the store.\n", made.why);
    if (mine.base != nullptr) munmap(mine.base, bytes);
    MPI_Comm_free(&node.comm);
    return;
  }

  auto* header = static_cast<std::uint64_t*>(mine.base);
  auto* cells = header + vlk::store::kBlockHeaderBytes / sizeof(std::uint64_t);
  auto* sets = slots != 0 ? reinterpret_cast<VLK_ScoreSetSlot*>(cells + VLK_ScoreStore_cells(genes))
                          : nullptr;
  clear_part(node, VLK_ScoreStore_cells(genes), [&](std::size_t from, std::size_t count) {
    VLK_ScoreStore_clear(cells, from, count);
  });
  if (sets != nullptr)
    clear_part(node, slots, [&](std::size_t from, std::size_t count) {
      std::fill_n(sets + from, count, VLK_ScoreSetSlot{0, 0, 0});
    });
  std::atomic_ref<std::uint64_t> cleared(*header);
  cleared.fetch_add(1, std::memory_order_release);
  MPI_Barrier(node.comm);
  while (cleared.load(std::memory_order_acquire) < static_cast<std::uint64_t>(node.size)) {
  }
  MPI_Comm_free(&node.comm);

  Args_charge_memory(a, table.share, "the score store");
  if (sets != nullptr) {
    const vlk::store::Plan set_plan =
        vlk::store::plan(slots * sizeof(VLK_ScoreSetSlot), node.size, a->memory);
    line("parent sets", set_plan, node.size);
    Args_charge_memory(a, set_plan.share, "the score store's parent sets");
  }
  auto* s = static_cast<VLK_ScoreStore*>(std::malloc(sizeof(VLK_ScoreStore)));
  if (s == nullptr) vlk::fatal("ERROR: Memory allocation failure (score store)\n");
  *s = {cells, genes, sets, static_cast<std::size_t>(slots)};
  a->score_store = s;
  whole_table_level(a, whole_alone);
}
