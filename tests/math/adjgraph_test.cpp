// Matrix graphs and the complete graph: bounds, cloning, completion, printing, the allocation
// warning and the fatal paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "GraphI.h"
#include "VLK_AdjGraph.h"
#include "VLK_Graph.h"
#include "VLK_StrArray.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

using vlk_test::capture;

namespace {

using AdjPtr = vlk::Owned<GraphI, VLK_AdjGraph_delete>;

std::vector<std::vector<int>> edges_of(const GraphI* g) {
  std::vector<std::vector<int>> m(g->n, std::vector<int>(g->n));
  for (size_t ch = 0; ch < g->n; ++ch)
    for (size_t pa = 0; pa < g->n; ++pa)
      m[ch][pa] = g->check_edge(g, static_cast<int>(pa), static_cast<int>(ch));
  return m;
}

}  // namespace

TEST(AdjGraph, NewAndNews) {
  VLK_AdjGraph* empty = VLK_AdjGraph_new();
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->type, VLK_TYPE_ADJGRAPH);
  EXPECT_EQ(empty->n, 0u);
  EXPECT_EQ(empty->matrix, nullptr);
  EXPECT_EQ(VLK_AdjGraph_check_edge(empty, 0, 0), 0);
  VLK_AdjGraph_add_edge(empty, 0, 0);  // nothing to store into
  AdjPtr copy(VLK_AdjGraph_clone(empty));
  EXPECT_EQ(copy->n, 0u);
  VLK_AdjGraph_delete(empty);
  VLK_AdjGraph_delete(nullptr);

  AdjPtr g(VLK_AdjGraph_news(4));
  ASSERT_NE(g, nullptr);
  for (const auto& row : edges_of(g.get())) EXPECT_EQ(row, std::vector<int>(4, 0));
  EXPECT_EQ(VLK_AdjGraph_to_GraphI(VLK_AdjGraph_check_type(g.get())), g.get());
}

// Row = child, column = parent; ids off the graph never reach the matrix.
TEST(AdjGraph, EditsAndBounds) {
  AdjPtr g(VLK_AdjGraph_news(3));
  VLK_AdjGraph* a = VLK_AdjGraph_check_type(g.get());
  VLK_AdjGraph_add_edge(g.get(), 2, 0);
  EXPECT_EQ(a->matrix[0 * 3 + 2], 1);
  EXPECT_EQ(VLK_AdjGraph_check_edge(g.get(), 2, 0), 1);
  EXPECT_EQ(VLK_AdjGraph_check_edge(g.get(), 0, 2), 0);
  for (int bad : {-1, 3, 1000, INT32_MIN}) {
    VLK_AdjGraph_add_edge(g.get(), bad, 0);
    VLK_AdjGraph_add_edge(g.get(), 0, bad);
    VLK_AdjGraph_remove_edge(g.get(), bad, 0);
    EXPECT_EQ(VLK_AdjGraph_check_edge(g.get(), bad, 0), 0);
    EXPECT_EQ(VLK_AdjGraph_check_edge(g.get(), 0, bad), 0);
  }
  int set = 0;
  for (int i = 0; i < 9; ++i) set += a->matrix[i];
  EXPECT_EQ(set, 1);
  g->remove_edge(g.get(), 2, 0);
  EXPECT_EQ(g->check_edge(g.get(), 2, 0), 0);
  g->remove_edge(g.get(), 2, 0);  // removing an absent edge is harmless
  EXPECT_EQ(g->check_edge(g.get(), 2, 0), 0);
}

TEST(AdjGraph, CompleteIncludesSelfPairs) {
  AdjPtr g(VLK_AdjGraph_news(5));
  VLK_AdjGraph_complete(VLK_AdjGraph_check_type(g.get()));
  for (const auto& row : edges_of(g.get())) EXPECT_EQ(row, std::vector<int>(5, 1));
  EXPECT_EQ(VLK_AdjGraph_check_edge(g.get(), 5, 0), 0);  // still bounded
}

TEST(AdjGraph, CloneIsIndependent) {
  AdjPtr g(VLK_AdjGraph_news(4));
  g->add_edge(g.get(), 0, 1);
  g->add_edge(g.get(), 3, 3);
  g->add_edge(g.get(), 2, 0);
  AdjPtr c(g->clone(g.get()));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->type, VLK_TYPE_ADJGRAPH);
  EXPECT_EQ(c->n, 4u);
  EXPECT_EQ(edges_of(c.get()), edges_of(g.get()));
  c->remove_edge(c.get(), 0, 1);
  c->add_edge(c.get(), 1, 2);
  EXPECT_EQ(g->check_edge(g.get(), 0, 1), 1);
  EXPECT_EQ(g->check_edge(g.get(), 1, 2), 0);
}

// A matrix too large to address is refused with the warning, whatever the warning level.
TEST(AdjGraph, UnallocatableMatrixWarns) {
  const size_t huge = size_t{1} << 33;  // huge * huge does not fit in size_t
  const int level = VLK_get_warning_level();
  VLK_set_warning_level(0);
  vlk_test::CaptureErr err;
  EXPECT_EQ(VLK_AdjGraph_news(huge), nullptr);
  VLK_set_warning_level(level);
  EXPECT_EQ(err.text(), "WARNING: VLK_AdjGraph_news(): failed to allocate memory.\n");
}

TEST(AdjGraph, PrintExactText) {
  AdjPtr g(VLK_AdjGraph_news(3));
  g->add_edge(g.get(), 2, 0);  // 2 -> 0
  g->add_edge(g.get(), 1, 0);  // 1 -> 0
  g->add_edge(g.get(), 1, 1);  // self pair
  VLK_StrArray* names = VLK_StrArray_new();
  for (const char* s : {"A", "bb", "c c"}) VLK_StrArray_add_copy(names, s);
  EXPECT_EQ(capture([&](FILE* fp) { g->print_name(g.get(), fp, names); }),
            "A(0) : bb(1) c c(2)\nbb(1) : bb(1)\nc c(2) :\n");
  EXPECT_EQ(capture([&](FILE* fp) { VLK_AdjGraph_print_name2(g.get(), fp, names); }),
            "A(0) :\nbb(1) : A(0) bb(1)\nc c(2) : A(0)\n");
  VLK_StrArray_delete_all(names);
}

TEST(AdjGraph, WrongKindIsFatal) {
  const std::string bad = "FATAL ERROR: VLK_AdjGraph: invalid type object received.\n";
  VLK_Graph* g = VLK_Graph_new(2);
  GraphI* complete = CompleteGraph_to_GraphI(CompleteGraph_new());
  for (GraphI* wrong : {VLK_Graph_to_GraphI(g), complete}) {
    EXPECT_FATAL_EXIT(VLK_AdjGraph_delete(wrong), bad);
    EXPECT_FATAL_EXIT(VLK_AdjGraph_clone(wrong), bad);
    EXPECT_FATAL_EXIT(VLK_AdjGraph_add_edge(wrong, 0, 1), bad);
    EXPECT_FATAL_EXIT(VLK_AdjGraph_remove_edge(wrong, 0, 1), bad);
    EXPECT_FATAL_EXIT(VLK_AdjGraph_check_edge(wrong, 0, 1), bad);
    EXPECT_FATAL_EXIT(VLK_AdjGraph_print_name(wrong, stdout, nullptr), bad);
    EXPECT_FATAL_EXIT(VLK_AdjGraph_print_name2(wrong, stdout, nullptr), bad);
    EXPECT_FATAL_EXIT(VLK_AdjGraph_check_type(wrong), bad);
  }
  VLK_Graph_delete(g);
}

// ---- the complete graph ----

TEST(CompleteGraph, OneSharedObjectThatAllowsEverything) {
  CompleteGraph* a = CompleteGraph_new();
  EXPECT_EQ(a, CompleteGraph_new());
  EXPECT_EQ(a, &CompleteGraph_static_instance);
  GraphI* g = CompleteGraph_to_GraphI(a);
  EXPECT_EQ(static_cast<void*>(g), static_cast<void*>(a));
  EXPECT_EQ(g->type, VLK_TYPE_COMPLETEGRAPH);
  EXPECT_EQ(g->n, 0u);
  for (int pa : {0, 1, -1, 12345, INT32_MIN})
    for (int ch : {0, -5, 7, INT32_MAX}) EXPECT_EQ(g->check_edge(g, pa, ch), 1);
  EXPECT_EQ(CompleteGraph_check_edge(nullptr, 3, 3), 1);  // the object is not even looked at
}

TEST(CompleteGraph, InitWritesOnlyTheTag) {
  CompleteGraph record;
  std::memset(&record, 0xAB, sizeof record);
  CompleteGraph reference;
  std::memcpy(&reference, &record, sizeof record);
  CompleteGraph_init(&record);
  EXPECT_EQ(record.type, VLK_TYPE_COMPLETEGRAPH);
  EXPECT_EQ(
      std::memcmp(reinterpret_cast<char*>(&record) + sizeof(int),
                  reinterpret_cast<char*>(&reference) + sizeof(int), sizeof record - sizeof(int)),
      0);
}
