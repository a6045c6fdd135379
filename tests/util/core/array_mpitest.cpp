// Transfers of int and string arrays between 3 processes; root 1 so rank 0 is not special.
#include <gtest/gtest.h>
#include <mpi.h>

#include <string>
#include <vector>

#include "VLK_Array_mpi.h"
#include "mpi_test.h"

namespace {

using vlk_test::kRoot;
using vlk_test::procs;
using vlk_test::rank;

std::vector<std::string> strs(const VLK_StrArray* a) { return {a->data, a->data + a->size}; }

std::vector<int> ints(const VLK_IntArray* a) { return {a->data, a->data + a->size}; }

VLK_StrArray* make(const std::vector<std::string>& v) {
  VLK_StrArray* a = VLK_StrArray_new();
  for (const auto& s : v) VLK_StrArray_add_copy(a, s.c_str());
  return a;
}

}  // namespace

TEST(StrArrayBcast, ContentsOfTheRootArrive) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {""}, {"", "", ""}, {"gene1", "", "a longer name with blanks", "x"}};
  for (const auto& want : cases) {
    // Non-root processes hold something else: only the root's content counts.
    VLK_StrArray* a = rank() == kRoot ? make(want) : make({"stale", "junk"});
    VLK_StrArray* before = a;
    VLK_StrArray_MPI_Bcast(&a, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(strs(a), want);
    if (rank() != kRoot) {
      EXPECT_EQ(a->capacity, want.size());
      VLK_StrArray_delete_all(before);
    }
    VLK_StrArray_delete_all(a);
  }
}

TEST(StrArrayBcast, BlocksOfArrays) {
  const std::vector<std::vector<std::string>> want = {
      {"a"}, {}, {"bb", "", "c"}, {std::string(5000, 'z')}};
  VLK_StrArray* block = nullptr;
  size_t n = 0;
  if (rank() == kRoot) {
    n = want.size();
    block = VLK_StrArray_new_ar(n);
    for (size_t i = 0; i < n; ++i)
      for (const auto& s : want[i]) VLK_StrArray_add_copy(&block[i], s.c_str());
  }
  VLK_StrArray_ar_MPI_Bcast(&block, &n, kRoot, MPI_COMM_WORLD);
  ASSERT_EQ(n, want.size());
  for (size_t i = 0; i < n; ++i) EXPECT_EQ(strs(&block[i]), want[i]) << i;
  VLK_StrArray_delete_ar_all(block, n);

  VLK_StrArray* empty = nullptr;
  size_t zero = 0;
  VLK_StrArray_ar_MPI_Bcast(&empty, &zero, kRoot, MPI_COMM_WORLD);
  EXPECT_EQ(zero, 0u);
  VLK_StrArray_delete_ar_all(empty, 0);
}

TEST(StrArrayBcast, NullSlotsArriveAsEmptyStrings) {
  VLK_StrArray* a = VLK_StrArray_new();
  if (rank() == kRoot) {
    VLK_StrArray_add_copy(a, "x");
    VLK_StrArray_add(a, nullptr);
    VLK_StrArray_add_copy(a, "z");
  }
  VLK_StrArray* mine = a;
  VLK_StrArray_MPI_Bcast(&a, kRoot, MPI_COMM_WORLD);
  if (rank() == kRoot) {
    EXPECT_EQ(a->data[1], nullptr);  // the root's own array is not touched
  } else {
    EXPECT_EQ(strs(a), (std::vector<std::string>{"x", "", "z"}));
    VLK_StrArray_delete_all(mine);
  }
  VLK_StrArray_delete_all(a);
}

TEST(IntArrayBcast, NewArrayCopyAndBlocks) {
  for (const std::vector<int>& want : {std::vector<int>{}, std::vector<int>{7, -1, 2147483647}}) {
    VLK_IntArray* a = VLK_IntArray_new();
    if (rank() == kRoot) VLK_IntArray_add_ar(a, want.data(), want.size());
    VLK_IntArray* mine = a;
    VLK_IntArray_MPI_Bcast(&a, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(ints(a), want);
    if (a != mine) VLK_IntArray_delete(mine);
    VLK_IntArray_delete(a);

    // Into an existing array, smaller or larger than the message.
    VLK_IntArray* b = VLK_IntArray_news(rank() == 0 ? 0 : 10);
    VLK_IntArray_add(b, 99);
    if (rank() == kRoot) {
      VLK_IntArray_clear(b);
      VLK_IntArray_add_ar(b, want.data(), want.size());
    }
    VLK_IntArray_MPI_Bcast_copy(b, kRoot, MPI_COMM_WORLD);
    EXPECT_EQ(ints(b), want);
    EXPECT_GE(b->capacity, want.size());
    VLK_IntArray_delete(b);
  }

  VLK_IntArray* block = nullptr;
  size_t n = 0;
  if (rank() == kRoot) {
    n = 3;
    block = VLK_IntArray_new_ar(n, 1);
    VLK_IntArray_add(&block[0], 1);
    for (int v : {4, 5, 6}) VLK_IntArray_add(&block[2], v);
  }
  VLK_IntArray_MPI_Bcast_ar(&block, &n, kRoot, MPI_COMM_WORLD);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(ints(&block[0]), std::vector<int>{1});
  EXPECT_EQ(ints(&block[1]), std::vector<int>{});
  EXPECT_EQ(ints(&block[2]), (std::vector<int>{4, 5, 6}));
  if (rank() != kRoot) {
    EXPECT_EQ(block[2].capacity, 3u);
  }
  VLK_IntArray_delete_ar(block, n);
}

TEST(IntArrayPointToPoint, SendRecvAndRecvAdd) {
  // Every rank sends its own pattern to the next rank and receives from the previous one.
  const int me = rank(), p = procs();
  const int next = (me + 1) % p, prev = (me + p - 1) % p;
  VLK_IntArray* out = VLK_IntArray_new();
  for (int i = 0; i <= me; ++i) VLK_IntArray_add(out, me * 100 + i);
  std::vector<int> expected;
  for (int i = 0; i <= prev; ++i) expected.push_back(prev * 100 + i);

  VLK_IntArray* in = VLK_IntArray_news(0);  // smaller than any message
  if (me % 2 == 0) {
    VLK_IntArray_MPI_Send(out, next, MPI_COMM_WORLD);
    VLK_IntArray_MPI_Recv(in, prev, MPI_COMM_WORLD);
  } else {
    VLK_IntArray_MPI_Recv(in, prev, MPI_COMM_WORLD);
    VLK_IntArray_MPI_Send(out, next, MPI_COMM_WORLD);
  }
  EXPECT_EQ(ints(in), expected);
  EXPECT_EQ(in->capacity, expected.size());

  VLK_IntArray* acc = VLK_IntArray_new();
  VLK_IntArray_add(acc, 1);
  VLK_IntArray_add(acc, 2);
  if (me % 2 == 0) {
    VLK_IntArray_MPI_Send(out, next, MPI_COMM_WORLD);
    VLK_IntArray_MPI_Recv_add(acc, prev, MPI_COMM_WORLD);
  } else {
    VLK_IntArray_MPI_Recv_add(acc, prev, MPI_COMM_WORLD);
    VLK_IntArray_MPI_Send(out, next, MPI_COMM_WORLD);
  }
  std::vector<int> want_acc{1, 2};
  want_acc.insert(want_acc.end(), expected.begin(), expected.end());
  EXPECT_EQ(ints(acc), want_acc);

  // An empty array travels as a zero count.
  VLK_IntArray* empty = VLK_IntArray_new();
  VLK_IntArray_add(in, 5);
  if (me % 2 == 0) {
    VLK_IntArray_MPI_Send(empty, next, MPI_COMM_WORLD);
    VLK_IntArray_MPI_Recv(in, prev, MPI_COMM_WORLD);
  } else {
    VLK_IntArray_MPI_Recv(in, prev, MPI_COMM_WORLD);
    VLK_IntArray_MPI_Send(empty, next, MPI_COMM_WORLD);
  }
  EXPECT_EQ(in->size, 0u);
  for (auto* a : {out, in, acc, empty}) VLK_IntArray_delete(a);
}
