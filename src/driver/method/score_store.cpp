#include "method/score_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "VLK_ScoreStore.h"
#include "VLK_Util.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace vlk::store {

Plan plan(std::uint64_t bytes, int node_processes, std::uint64_t budget) {
  const auto L = static_cast<std::uint64_t>(node_processes > 0 ? node_processes : 1);
  const std::uint64_t share = (bytes + L - 1) / L;
  return {bytes, share, share <= budget};
}

}  // namespace vlk::store

namespace {

// A node-shared block charged to this process's budget by its share, with its lines in the
// log; null when a share does not fit on some process.
void* charged_block(Args* a, const char* what, std::size_t units, std::size_t unit_bytes,
                    const std::function<void(void*, std::size_t, std::size_t)>& clear) {
  vlk::store::Plan plan{};
  int node_processes = 1;
  void* block = vlk::store::node_shared_block(
      units, unit_bytes,
      [&](int L) {
        node_processes = L;
        plan = vlk::store::plan(static_cast<std::uint64_t>(units) * unit_bytes, L, a->memory);
        return plan.fits;
      },
      clear);
  std::fprintf(VELK_ERR, "Score store: %s ", what);
  Args_print_bytes(plan.bytes);
  std::fprintf(VELK_ERR, ", shared by %d processes of this node; share ", node_processes);
  Args_print_bytes(plan.share);
  std::fprintf(VELK_ERR, ".\n");
  if (block == nullptr) {
    std::fprintf(VELK_ERR,
                 "Score store: WARNING: a share does not fit the memory budget left on every "
                 "process (here ");
    Args_print_bytes(a->memory);
    std::fprintf(VELK_ERR, "); running without the %s.\n", what);
    return nullptr;
  }
  Args_charge_memory(a, plan.share, "the score store");
  return block;
}

}  // namespace

void score_store_alloc(Args* a) {
  // Dynamic data resample every nucleus: no two nuclei see the same rows.
  if (a->algo_args->dynamic) {
    std::fprintf(VELK_ERR, "Score store: not used with dynamic data.\n");
    return;
  }
  auto* cells = static_cast<std::uint64_t*>(
      charged_block(a, "table", VLK_ScoreStore_cells(a->nodes), sizeof(std::uint64_t),
                    [](void* base, std::size_t first, std::size_t count) {
                      VLK_ScoreStore_clear(static_cast<std::uint64_t*>(base), first, count);
                    }));
  if (cells == nullptr) return;
  VLK_ScoreSetSlot* sets = nullptr;
  if (a->algo_args->max_parents >= 2)
    sets = static_cast<VLK_ScoreSetSlot*>(
        charged_block(a, "parent sets", vlk::store::kSetSlots, sizeof(VLK_ScoreSetSlot),
                      [](void* base, std::size_t first, std::size_t count) {
                        std::fill_n(static_cast<VLK_ScoreSetSlot*>(base) + first, count,
                                    VLK_ScoreSetSlot{0, 0, 0});
                      }));
  auto* s = static_cast<VLK_ScoreStore*>(std::malloc(sizeof(VLK_ScoreStore)));
  if (s == nullptr) vlk::fatal("ERROR: Memory allocation failure (score store)\n");
  *s = {cells, a->nodes, sets, sets != nullptr ? vlk::store::kSetSlots : 0};
  a->score_store = s;
}
