// Where the edge statistics of a gene pair live: every ordered pair of an owned gene has a cell
// of its own, the cells of a process fill its table exactly, and the arithmetic holds at the
// largest gene count the 16-bit ids allow.
#include "exchange/gene_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(GeneLayout, EveryOwnedOrderedPairHasItsOwnCellAndTheCellsTileTheTable) {
  for (int P = 1; P <= 5; ++P) {
    for (int n : {1, 2, 3, 5, 7, 13, 64, 101}) {
      std::vector<int> owner_of(static_cast<size_t>(n), -1);
      for (int r = 0; r < P; ++r) {
        SCOPED_TRACE(testing::Message() << "P=" << P << " n=" << n << " rank=" << r);
        const GeneLayout g = GeneLayout::make(n, P, r);
        std::vector<int> edge_hits(g.edge_cells(), 0), pair_hits(g.pair_cells(), 0);
        for (std::int64_t l = 0; l < g.own; ++l) {
          const std::int64_t v = g.gene(l);
          ASSERT_LT(v, n);
          EXPECT_EQ(owner_of[v], -1) << "gene " << v << " owned twice";
          owner_of[v] = r;
          EXPECT_EQ(g.local(v), l);
          for (std::int64_t w = 0; w < v; ++w) {
            for (size_t cell : {g.forward(l, w), g.backward(l, w)}) {
              ASSERT_LT(cell, edge_hits.size()) << "v=" << v << " w=" << w;
              ++edge_hits[cell];
            }
            ASSERT_LT(g.pair(l, w), pair_hits.size());
            ++pair_hits[g.pair(l, w)];
          }
        }
        for (size_t c = 0; c < edge_hits.size(); ++c)
          EXPECT_EQ(edge_hits[c], 1) << "edge cell " << c;
        for (size_t c = 0; c < pair_hits.size(); ++c) {
          const std::int64_t l = static_cast<std::int64_t>(c) / n,
                             w = static_cast<std::int64_t>(c) % n;
          EXPECT_EQ(pair_hits[c], w < g.gene(l) ? 1 : 0) << "pair cell " << c;
        }
      }
      for (int v = 0; v < n; ++v) EXPECT_EQ(owner_of[v], v % P) << "gene " << v;
    }
  }
}

TEST(GeneLayout, OneProcessMirrorsEachRowFromItsEnd) {
  const int n = 6;
  const GeneLayout g = GeneLayout::make(n, 1, 0);
  EXPECT_EQ(g.own, n);
  EXPECT_EQ(g.mrows, n - 1);
  for (int l = 0; l < n; ++l) {
    for (int w = 0; w < l; ++w) {
      EXPECT_EQ(g.forward(l, w), static_cast<size_t>(l * (n - 1) + w));
      EXPECT_EQ(g.backward(l, w), static_cast<size_t>((n - 1 - l) * (n - 1) + n - 2 - w));
    }
  }
}

TEST(GeneLayout, LargestGeneCountOnOneProcessNeedsMoreThan32Bits) {
  // Computed only: the table itself would take 17 GB.
  const std::int64_t n = 65535;
  const GeneLayout g = GeneLayout::make(n, 1, 0);
  EXPECT_EQ(g.own, n);
  EXPECT_EQ(g.mrows, n - 1);
  EXPECT_EQ(g.edge_cells(), 4294770690u);  // 65535 x 65534, above INT_MAX
  EXPECT_EQ(g.pair_cells(), 4294836225u);  // 65535 x 65535
  // The last forward cell (65533 -> 65534) and the last backward cell (65534 -> 0) both end
  // a row; the table's last cell is the forward one.
  EXPECT_EQ(g.forward(n - 1, n - 2), g.edge_cells() - 1);
  EXPECT_EQ(g.backward(n - 1, 0), static_cast<size_t>(n - 2));
  EXPECT_EQ(g.pair(n - 1, n - 1), g.pair_cells() - 1);
  // Two processes: rank 1 owns the odd genes up to 65533; its last row ends with the forward
  // counts of 65533 and the one backward cell of gene 1.
  const GeneLayout h = GeneLayout::make(n, 2, 1);
  EXPECT_EQ(h.own, 32767);
  EXPECT_EQ(h.mrows, 65534);
  EXPECT_EQ(h.forward(h.own - 1, n - 3), h.edge_cells() - 2);
  EXPECT_EQ(h.backward(0, 0), h.edge_cells() - 1);
}

}  // namespace
