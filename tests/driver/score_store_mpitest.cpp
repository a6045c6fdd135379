// The score store's set-up under MPI: one table per node that every process of it fills and
// reads, each process charged its share; all processes together go without it when a share
// does not fit on any one of them; none with dynamic data.
#include <gtest/gtest.h>
#include <mpi.h>

#include <cstdint>
#include <string>

#include "VLK_ScoreStore.h"
#include "method/score_store.h"
#include "settings/args.h"
#include "vlk_test.h"

namespace {

struct StoreArgs {
  Args* a = Args_new();
  StoreArgs(int genes, int max_parents, std::uint64_t memory) {
    a->nodes = genes;
    a->algo_args->max_parents = max_parents;
    a->memory = memory;
  }
  ~StoreArgs() {
    std::free(a->score_store);
    Args_delete(a);
  }
  std::string alloc() {
    vlk_test::CaptureErr err;
    score_store_alloc(a);
    return err.text();
  }
};

int node_processes() {
  MPI_Comm node;
  MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
  int size = 0;
  MPI_Comm_size(node, &size);
  MPI_Comm_free(&node);
  return size;
}

}  // namespace

TEST(ScoreStoreAlloc, OneTableEveryProcessOfTheNodeFillsAndReads) {
  const int genes = 40;
  StoreArgs s(genes, 3, std::uint64_t{1} << 30);
  const std::string log = s.alloc();
  const VLK_ScoreStore* store = s.a->score_store;
  ASSERT_NE(store, nullptr) << log;
  ASSERT_NE(store->sets, nullptr);
  // Sized to the genes: four slots per ordered pair, a power of two.
  EXPECT_EQ(store->set_slots, 8192u);
  const int L = node_processes();
  const std::uint64_t table = VLK_ScoreStore_bytes(genes);
  const std::uint64_t sets = 8192 * sizeof(VLK_ScoreSetSlot);
  EXPECT_EQ(s.a->memory, (std::uint64_t{1} << 30) - (table + L - 1) / L - (sets + L - 1) / L);
  EXPECT_NE(log.find("shared by " + std::to_string(L) + " processes of this node"),
            std::string::npos)
      << log;

  // Every cell starts unfilled; rank r fills row r, and every process then reads every row.
  double v = 0;
  for (int c = 0; c < genes; ++c)
    for (int p = 0; p < genes; ++p) EXPECT_EQ(VLK_ScoreStore_get(store, c, p, &v), 0);
  MPI_Barrier(MPI_COMM_WORLD);
  int rank = 0, P = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &P);
  for (int p = 0; p < genes; ++p) VLK_ScoreStore_put(store, rank, p, rank * 100.0 + p);
  MPI_Barrier(MPI_COMM_WORLD);
  for (int r = 0; r < P; ++r)
    for (int p = 0; p < genes; ++p) {
      ASSERT_EQ(VLK_ScoreStore_get(store, r, p, &v), 1) << r << " " << p;
      EXPECT_EQ(v, r * 100.0 + p);
    }
  EXPECT_EQ(VLK_ScoreStore_get(store, P, 0, &v), 0);
  MPI_Barrier(MPI_COMM_WORLD);
}

// One process short of memory: no process makes the store, none is charged.
TEST(ScoreStoreAlloc, AShareThatDoesNotFitAnywhereLeavesItOutEverywhere) {
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  const std::uint64_t memory = rank == 0 ? 100 : std::uint64_t{1} << 30;
  StoreArgs s(40, 1, memory);
  const std::string log = s.alloc();
  EXPECT_EQ(s.a->score_store, nullptr);
  EXPECT_EQ(s.a->memory, memory);
  // Said once, by process 0 (in its log and on the terminal).
  EXPECT_EQ(log.find("running without the table, ") != std::string::npos, rank == 0) << log;
}

// The parent sets only come with -M 2 or more; dynamic data get no store at all.
TEST(ScoreStoreAlloc, NoSetsAtOneParentAndNoStoreForDynamicData) {
  StoreArgs one(30, 1, std::uint64_t{1} << 30);
  one.alloc();
  ASSERT_NE(one.a->score_store, nullptr);
  EXPECT_EQ(one.a->score_store->sets, nullptr);
  EXPECT_EQ(one.a->score_store->set_slots, 0u);

  StoreArgs dynamic(30, 3, std::uint64_t{1} << 30);
  dynamic.a->algo_args->dynamic = 1;
  EXPECT_EQ(dynamic.alloc(), "Score store: not used with dynamic data.\n");
  EXPECT_EQ(dynamic.a->score_store, nullptr);
}
