// The parts of the graph exchange that do not communicate: which records a nucleus sends to
// whom, what a process adds for the records and selections it receives, the dump of its
// counts, and the refusals of buffers an MPI count cannot carry.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "exchange/exchange_work.h"
#include "exchange/graph_exchange.h"
#include "exchange_testing.h"
#include "output/output_nuc.h"
#include "velkcom.h"
#include "vlk_test.h"

namespace {

using vlk_test::Ids;
using vlk_test::Tables;

Ids stream(const VLK_UShortArray& s) { return Ids(s.data, s.data + s.size); }

// Genes 2, 3, 5, 7, 9 at positions 0 .. 4 with the edges 3 -> 7, 7 -> 2, 9 -> 5 and the
// self-loop 7 -> 7 (position 3 is its own parent).
struct Nucleus {
  Ids genes{2, 3, 5, 7, 9};
  VLK_Graph* g = VLK_Graph_new(5);
  Nucleus() {
    VLK_Graph_add_edge(g, 1, 3);
    VLK_Graph_add_edge(g, 3, 0);
    VLK_Graph_add_edge(g, 3, 3);
    VLK_Graph_add_edge(g, 4, 2);
  }
  ~Nucleus() { VLK_Graph_delete(g); }
};

TEST(GraphRecords, EachEdgeTravelsOnceToTheOwnerOfItsLargerGene) {
  Tables t(10, 5, 1, 2);
  Nucleus nuc;
  // A dummy row beside the real one sends nothing (its graph is never looked at).
  Ids sel = nuc.genes;
  sel.insert(sel.end(), 5, kNoGene);
  VLK_Graph* graphs[] = {nuc.g, nullptr};
  VLK_IntArray* children = VLK_IntArray_new_ar(5, 1);
  const std::string trace = vlk_test::capture([&](FILE* fp) {
    exchange::build_edge_records(graphs, VLK_SelectedNodes{sel.data(), 2, 5}, 2, children,
                                 t->exchange_work->entries.data(), t->node_lists, fp);
  });
  VLK_IntArray_delete_ar(children, 5);
  // Gene 7 carries 3 -> 7 as a parent and 7 -> 2 as a child, never its self-loop; gene 9
  // carries 9 -> 5; genes without a smaller neighbour send no record.
  EXPECT_EQ(stream(t->node_lists[0]), Ids{});
  EXPECT_EQ(stream(t->node_lists[1]), (Ids{7, 1, 1, 3, 2, 9, 0, 1, 5}));
  EXPECT_EQ(trace,
            "Cyclic nodes: 2-0 3-1 5-1 7-1 9-1\n"
            "rank=1 <- += 3 + pa=1 + ch=1  (j=7) counts[rank=1]=5\n"
            "rank=1 <- += 3 + pa=0 + ch=1  (j=9) counts[rank=1]=9\n");

  // The owner adds them where the layout keeps them, and nothing else.
  const int counts[] = {0, 9};
  const int displs[] = {0, 0};
  exchange::accumulate_edge_records(t->node_lists[1].data, counts, displs, 2, t.layout(),
                                    t->edge_counts, nullptr);
  EXPECT_EQ(t.forward(7, 3), 1);
  EXPECT_EQ(t.backward(7, 2), 1);
  EXPECT_EQ(t.backward(9, 5), 1);
  EXPECT_EQ(t.edge_total(), 3);
}

TEST(GraphRecords, PairsAreCountedByTheOwnerOfTheLargerGene) {
  // Rows of three genes: 2, 5, 9; a dummy; 4, 5, 5 with a repeated gene.
  const Ids rows{2, 5, 9, kNoGene, kNoGene, kNoGene, 4, 5, 5};
  for (int rank : {0, 1}) {
    SCOPED_TRACE(rank);
    Tables t(10, 3, rank, 2);
    exchange::count_pairs(VLK_SelectedNodes{rows.data(), 3, 3}, 3, t.layout(), t->pair_counts,
                          *t->exchange_work, nullptr);
    if (rank == 0) {
      EXPECT_EQ(t.pair_total(), 0);  // gene 2 and 4 are never the larger of a pair
      continue;
    }
    EXPECT_EQ(t.pairs(5, 2), 1);
    EXPECT_EQ(t.pairs(9, 2), 1);
    EXPECT_EQ(t.pairs(9, 5), 1);
    EXPECT_EQ(t.pairs(5, 4), 2);  // once for each copy of 5
    EXPECT_EQ(t.pairs(5, 5), 1);  // the repeated gene meets itself
    EXPECT_EQ(t.pair_total(), 6);
  }
}

TEST(GraphRecords, DumpListsEveryPairThatMetWithBothCounts) {
  vlk_test::TempFile dir_marker("");
  const std::string prefix = dir_marker.path() + "_run";
  Tables t(6, 3, 1, 2);  // genes 1, 3, 5
  t->output_prefix = strdup(prefix.c_str());
  const Ids rows{1, 3, 5, 0, 3, 4};
  exchange::count_pairs(VLK_SelectedNodes{rows.data(), 2, 3}, 2, t.layout(), t->pair_counts,
                        *t->exchange_work, nullptr);
  const Ids records{3, 1, 1, 1, 0, 5, 0, 2, 1, 3};  // 1 -> 3, 3 -> 0, 5 -> 1, 5 -> 3
  const int counts[] = {10}, displs[] = {0};
  exchange::accumulate_edge_records(records.data(), counts, displs, 1, t.layout(), t->edge_counts,
                                    nullptr);
  output_nuc(t.get());
  const std::string file = prefix + ".nuc.00001";
  EXPECT_EQ(vlk_test::read_file(file),
            "1\n"
            "3\t0\t0\t1\t1\t1\t1\t0\t1\n"
            "5\t1\t0\t1\t1\t3\t0\t1\t1\n");
  std::remove(file.c_str());

  // A file that cannot be made: the same lines go to the error stream after two warnings.
  std::free(t->output_prefix);
  t->output_prefix = strdup("/nonexistent-dir/run");
  vlk_test::CaptureErr err;
  output_nuc(t.get());
  EXPECT_EQ(err.text(),
            "WARNING: cannot open output file: /nonexistent-dir/run.nuc.00001\n"
            "  Going to output into the error output.\n"
            "1\n3\t0\t0\t1\t1\t1\t1\t0\t1\n5\t1\t0\t1\t1\t3\t0\t1\t1\n");
}

TEST(GraphRecords, StartUpSizesTheTablesAndChargesThem) {
  Tables t(13, 5, 2, 4);  // genes 2, 6, 10
  EXPECT_EQ(t->own_genes, 3);
  EXPECT_EQ(t->row_length, 4 * 2 + 4);
  EXPECT_EQ(t->first_gene, 2 * 3 + 1);
  // (3 x 12 + 3 x 13) ints
  EXPECT_EQ(t.startup(),
            "node_offset = 7, sub_nodes = 3, mrows = 12\n"
            "Allocating memory space...\n"
            "300 [bytes] (0 [MiB]) required for adjacent graphs.\n");
  EXPECT_EQ(t->memory, (std::uint64_t{3} << 30) - 300);
}

TEST(GraphRecords, RefusesWhatAnMpiCountCannotSayAndBuffersThatCannotGrow) {
  EXPECT_FATAL_EXIT(exchange::mpi_count(size_t{INT_MAX} + 1, "exchange_graph(): send buffer"),
                    "ERROR: exchange_graph(): send buffer: 2147483648 elements exceed the "
                    "largest MPI count (2147483647).\n");
  EXPECT_EQ(exchange::mpi_count(INT_MAX, "x"), INT_MAX);
  // Each count fits, their sum does not: the displacement of the third would wrap.
  const int counts[] = {INT_MAX - 1, 1, 1};
  int displs[3];
  EXPECT_FATAL_EXIT(exchange::prefix_sums(counts, displs, 3, "exchange_graph(): receive buffer"),
                    "ERROR: exchange_graph(): receive buffer: 2147483648 elements exceed the "
                    "largest MPI count (2147483647).\n");
  VLK_UShortArray* a = VLK_UShortArray_new();
  EXPECT_FATAL_EXIT(
      exchange::need(VLK_UShortArray_set_size(a, SIZE_MAX), "exchange_graph(): receive buffer"),
      "ERROR: exchange_graph(): receive buffer: memory allocation failure.\n");
  VLK_UShortArray_delete(a);
}

}  // namespace
