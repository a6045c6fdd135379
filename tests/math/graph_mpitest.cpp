// Broadcasting a parent-list graph: every rank ends with the root's lists and a record that
// answers the interface.
#include <gtest/gtest.h>
#include <mpi.h>

#include <vector>

#include "VLK_Graph.h"
#include "VLK_Graph_mpi.h"

TEST(GraphBcast, EveryRankReceivesTheRootsGraph) {
  int rank = 0, size = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &size);
  const int root = size - 1;
  const std::vector<std::vector<int>> lists{{3, 1, 3}, {}, {0}, {2, 1}, {}};
  VLK_Graph* g = nullptr;
  if (rank == root) {
    g = VLK_Graph_new(lists.size());
    for (size_t ch = 0; ch < lists.size(); ++ch)
      for (int pa : lists[ch]) VLK_Graph_add_edge(g, pa, static_cast<int>(ch));
  }
  VLK_Graph* sent = g;
  VLK_Graph_Bcast(&g, root, MPI_COMM_WORLD);
  ASSERT_NE(g, nullptr);
  if (rank == root) {
    EXPECT_EQ(g, sent);
  }
  EXPECT_EQ(g->type, VLK_TYPE_GRAPH);
  EXPECT_EQ(g->check_edge, &VLK_Graph_check_edgeI);
  EXPECT_EQ(g->delete_, &VLK_Graph_deleteI);
  EXPECT_EQ(g->num_nodes(g), 5);
  for (size_t ch = 0; ch < lists.size(); ++ch) {
    const VLK_IntArray* p = VLK_Graph_parents(g, static_cast<int>(ch));
    EXPECT_EQ(std::vector<int>(p->data, p->data + p->size), lists[ch]) << "rank " << rank;
  }
  VLK_Graph_add_edge(g, 4, 1);  // the received lists grow like any other
  EXPECT_EQ(VLK_Graph_check_cyclic(g, 0, 4), 1);
  g->delete_(g);

  VLK_Graph* empty = rank == 0 ? VLK_Graph_new(0) : nullptr;
  VLK_Graph_Bcast(&empty, 0, MPI_COMM_WORLD);
  EXPECT_EQ(VLK_Graph_num_nodes(empty), 0u);
  VLK_Graph_delete(empty);
}
