// Evaluation against a reference network: the per-pair verdicts of the distributed count, the
// same verdicts from the gathered network, and the exact report lines.
#include "evaluation/evaluate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "VLK_DoubleArray.h"
#include "VLK_Network.h"
#include "VLK_PCGraph.h"
#include "evaluation/reference.h"
#include "exchange/network_forms.h"
#include "exchange_testing.h"
#include "graph_testing.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::NetworkPtr;
using vlk::eval::Confusion;
using vlk_test::CaptureErr;
using vlk_test::Tables;
using GraphPtr = vlk::Owned<VLK_PCGraph, VLK_PCGraph_delete>;
using CutoffsPtr = vlk::Owned<VLK_DoubleArray, VLK_DoubleArray_delete>;

NetworkPtr reference(int n, const vlk_test::Pairs& edges) { return vlk_test::network_of(n, edges); }

CutoffsPtr cutoff_list(const std::vector<double>& values) {
  CutoffsPtr c(VLK_DoubleArray_new());
  for (double x : values) VLK_DoubleArray_add(c.get(), x);
  return c;
}

// Counts of the pair w < v: f nuclei with w -> v, b with v -> w, pc holding both.
void set_pair(Tables& t, int v, int w, int f, int b, int pc) {
  const GeneLayout g = t.layout();
  const auto l = g.local(v);
  t->edge_counts[g.forward(l, w)] = f;
  t->edge_counts[g.backward(l, w)] = b;
  t->pair_counts[g.pair(l, w)] = pc;
}

// Process 0's gathered network of a single process at cutoff th: the same rule and order as
// send_network3, without the transfer.
struct Gathered {
  GraphPtr graph;
  vlk_test::FloatArray values{{}};
  Gathered(Tables& t, float th) : graph(VLK_PCGraph_new(static_cast<size_t>(t->nodes))) {
    VLK_UShortArray* ids = VLK_UShortArray_new();
    exchange::collect_network(t.layout(), t->edge_counts, t->pair_counts, t->min_pair_count,
                              exchange::FreqSingle{th}, ids, values.a, *t->exchange_work, nullptr);
    exchange::add_stream_edges(
        ids->data, ids->size, graph.get(), [](const VLK_EdgeRecord&) {},
        [](size_t, int, int, int) {});
    VLK_UShortArray_delete(ids);
  }
};

// Six genes on one process. Reference: 0 -> 1, 1 -> 2, 4 -> 3 and 0 -> 5.
//   (0, 1) found 9 of 10 in its direction          TP
//   (1, 2) found 8 of 10, reversed only            RTP
//   (2, 3) no reference, found 6 of 10 both ways   one FP at 0.5; TN at 0.7
//   (3, 4) reference 4 -> 3, never in one nucleus  FN at every cutoff
//   (0, 5) found 7 of 10                           TP at 0.7 too: 7 / 10 reaches 0.7
// The other ten pairs were never seen: TN.
class PairVerdicts : public testing::Test {
 protected:
  Tables t{6, 3, 0, 1};
  NetworkPtr ref = reference(6, {{0, 1}, {1, 2}, {4, 3}, {0, 5}});
  CutoffsPtr cutoffs = cutoff_list({0.5, 0.7});
  void SetUp() override {
    set_pair(t, 1, 0, 9, 0, 10);
    set_pair(t, 2, 1, 0, 8, 10);
    set_pair(t, 3, 2, 6, 6, 10);
    set_pair(t, 4, 3, 0, 0, 0);
    set_pair(t, 5, 0, 7, 1, 10);
    t->reference = ref.get();
  }
  void TearDown() override { t->reference = nullptr; }
};

TEST_F(PairVerdicts, DistributedCountPerCutoff) {
  std::vector<Confusion> got(2);
  vlk::eval::count_own_pairs(t.get(), cutoffs.get(), got.data());
  EXPECT_EQ(got[0], (Confusion{2, 1, 1, 1, 10}));
  EXPECT_EQ(got[1], (Confusion{2, 1, 0, 1, 11}));
}

TEST_F(PairVerdicts, GatheredNetworkGivesTheSameCounts) {
  // Gathered at the smallest cutoff, compared at each; only TN is not counted this way.
  const Gathered net(t, vlk::eval::smallest_cutoff(cutoffs.get()));
  std::vector<Confusion> own(2);
  vlk::eval::count_own_pairs(t.get(), cutoffs.get(), own.data());
  for (size_t k = 0; k < 2; ++k) {
    Confusion c = vlk::eval::count_graph(net.graph.get(), net.values.a, ref.get(),
                                         static_cast<float>(cutoffs->data[k]));
    c.tn = own[k].tn;
    EXPECT_EQ(c, own[k]) << "cutoff " << cutoffs->data[k];
  }
}

TEST_F(PairVerdicts, MinimumPairCountHidesRarelySeenPairs) {
  // With -c 11 no pair has a frequency: every reference edge is missed, nothing is false.
  t->min_pair_count = 11;
  std::vector<Confusion> got(2);
  vlk::eval::count_own_pairs(t.get(), cutoffs.get(), got.data());
  EXPECT_EQ(got[0], (Confusion{0, 0, 0, 4, 11}));
}

// A pair the reference holds both ways is two reference edges, each found in its direction,
// found only reversed, or missed, on both roads alike.
TEST(TwoWayReferencePair, OneVerdictPerReferenceEdge) {
  const NetworkPtr ref = reference(2, {{0, 1}, {1, 0}});
  const CutoffsPtr cutoffs = cutoff_list({0.5});
  struct Case {
    const char* name;
    int f, b, pc;  // 0 -> 1 in f nuclei, 1 -> 0 in b, of pc
    Confusion want;
  };
  const Case cases[] = {
      {"both found", 9, 8, 10, {2, 0, 0, 0, 0}},
      {"0 -> 1 found alone", 7, 1, 10, {1, 1, 0, 0, 0}},
      {"1 -> 0 found alone", 1, 6, 10, {1, 1, 0, 0, 0}},
      {"neither found", 2, 3, 10, {0, 0, 0, 2, 0}},
      {"never in one nucleus", 0, 0, 0, {0, 0, 0, 2, 0}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Tables t(2, 2, 0, 1);
    set_pair(t, 1, 0, k.f, k.b, k.pc);
    t->reference = ref.get();
    Confusion own;
    vlk::eval::count_own_pairs(t.get(), cutoffs.get(), &own);
    EXPECT_EQ(own, k.want);
    const Gathered net(t, 0.5f);
    EXPECT_EQ(vlk::eval::count_graph(net.graph.get(), net.values.a, ref.get(), 0.5f), k.want);
    t->reference = nullptr;
  }
}

// A reference whose edge the two roads would count differently is refused when it is read,
// naming the line of the file: a self-loop (the distributed count never sees it, the gathered
// network's count misses it) and an edge given twice (read as one, hiding a slip in the file).
TEST(ReferenceFile, EdgesTheEvaluationCannotCountAreRefused) {
  const std::string head =
      "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tw:double\n\n[Nodes]\nA\tA\t0\nB\tB\t1\n"
      "C\tC\t2\n\n[Edges]\n0\t1\t0.5\n";  // the edge 0 -> 1 at line 11
  struct Case {
    const char* name;
    std::string edges;  // lines from line 12 on
    std::string problem;
  };
  const Case cases[] = {
      {"clean, both ways", "1\t0\n1\t2\n", ""},
      {"self-loop", "\n  2\t2 \n", "line 13 holds the self-loop 2 -> 2"},
      {"repeated", "1\t2\n0\t1\t0.7\n", "line 13 repeats the edge 0 -> 1 of line 11"},
      {"repeated with blanks", "1\t2\n 0 \t 1\n", "line 13 repeats the edge 0 -> 1 of line 11"},
      {"after the end mark", "-\n0\t1\n2\t2\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const vlk_test::TempFile file(head + c.edges, ".vlk3");
    const std::string want = c.problem.empty()
                                 ? ""
                                 : "ERROR: the compare file " + file.path() + ": " + c.problem +
                                       "; the evaluation counts each edge between two genes once\n";
    EXPECT_EQ(vlk::eval::reference_edge_problem(file.path().c_str()), want);
    // The run reads it and ends with that line, or goes on.
    const vlk_test::Ending end = vlk_test::run_fatal([&] {
      Args* a = Args_new_rank(0, 1);
      a->nodes = 3;
      a->reference_file = strdup(file.path().c_str());
      read_reference(a);
      VLK_Network_delete(a->reference);
      Args_delete(a);
    });
    EXPECT_TRUE(end.exited && end.status == (want.empty() ? 0 : 1)) << end.status;
    EXPECT_NE(end.err.find(want), std::string::npos) << end.err;
  }
}

// Nothing in a run compares modules: the file of --compare-module must be there, and process
// 0 says once that it goes unused.
TEST(ReferenceFile, TheModuleFileIsCheckedAndSaidToGoUnused) {
  const vlk_test::TempFile modules("g1\tg2\n");
  const std::string warning = "WARNING: --compare-module " + modules.path() +
                              ": no step of the run compares modules; the file is not used\n";
  for (int rank : {0, 1}) {
    SCOPED_TRACE(rank);
    Args* a = Args_new_rank(rank, 2);
    a->module_file = strdup(modules.path().c_str());
    CaptureErr err;
    read_reference(a);
    EXPECT_EQ(err.text(), rank == 0 ? warning : "");
    Args_delete(a);
  }
  const std::pair<const char*, const char*> refused[] = {
      {"/nonexistent-dir/modules.txt",
       "ERROR: --compare-module: cannot open /nonexistent-dir/modules.txt: No such file or "
       "directory\n"},
      {"/tmp", "ERROR: --compare-module: /tmp is a directory, not a file\n"},
  };
  for (const auto& [file, line] : refused) {
    SCOPED_TRACE(file);
    EXPECT_FATAL_EXIT(
        {
          Args* a = Args_new_rank(1, 2);
          a->module_file = strdup(file);
          read_reference(a);
        },
        line);
  }
}

TEST(CompareReports, DistributedReportLines) {
  const CutoffsPtr cutoffs = cutoff_list({0.2, 0.5, 0.8});
  const Confusion sums[3] = {
      {3, 1, 2, 4, 100}, {0, 0, 0, 0, 106}, {3000000000LL, 0, 0, 3000000000LL, 0}};
  const std::string text = vlk_test::capture(
      [&](FILE* fp) { vlk::eval::print_nuclei_report(fp, 300, cutoffs.get(), sums); });
  // Without reference edges and without found ones both quotients are undefined; sums over
  // 65,535 genes pass the int range.
  EXPECT_EQ(text,
            "COMPARISON RESULT(S)\n"
            "COML:\tITER\tCUTOFF\tTP\tRTP\tFP\tFN\tSn\tSp\n"
            "COMR:\t300\t0.200\t3\t1\t2\t4\t0.429\t0.500\n"
            "COMR:\t300\t0.500\t0\t0\t0\t0\tnan\tnan\n"
            "COMR:\t300\t0.800\t3000000000\t0\t0\t3000000000\t0.500\t1.000\n");
}

TEST(CompareReports, GraphReportsAndTheirLabels) {
  // 0 -> 1 (0.9) is a reference edge; 2 -> 3 and 3 -> 2 (0.6 each) have none; 0 -> 2 (0.3) is
  // below the cutoff; the reference edge 3 -> 4 is missed.
  GraphPtr g(VLK_PCGraph_new(5));
  for (auto [pa, ch] : vlk_test::Pairs{{0, 1}, {2, 3}, {3, 2}, {0, 2}})
    VLK_PCGraph_add_edge(g.get(), pa, ch);
  const vlk_test::FloatArray freq({0.9f, 0.6f, 0.6f, 0.3f});
  const NetworkPtr ref = reference(5, {{0, 1}, {3, 4}});
  CaptureErr err;
  compare_pcgraph_prob2(g.get(), freq.a, ref.get(), 0.5f, 700, "COM");
  compare_pcgraph2(g.get(), ref.get(), 0.5, 700, "DAGCMP");
  // Without frequencies 0 -> 2 counts too.
  EXPECT_EQ(err.text(),
            "---- PCGRAPH COMPARISON ----\n"
            "COML:\tITER\tCUTOFF\tTP\tRTP\tFP\tFN\tSn\tSp\n"
            "COMR:\t700\t0.500\t1\t0\t1\t1\t0.500\t0.500\n"
            "-------------------------------\n"
            "---- PCGRAPH COMPARISON ----\n"
            "DAGCMPL:\tITER\tCUTOFF\tTP\tRTP\tFP\tFN\tSn\tSp\n"
            "DAGCMPR:\t700\t0.500\t1\t0\t2\t1\t0.500\t0.333\n"
            "-------------------------------\n");
}

TEST(CompareReports, PairwiseReportsCountTrueNegatives) {
  GraphPtr g(VLK_PCGraph_new(4));
  for (auto [pa, ch] : vlk_test::Pairs{{1, 0}, {2, 3}, {3, 2}})
    VLK_PCGraph_add_edge(g.get(), pa, ch);
  const vlk_test::FloatArray freq({0.8f, 0.4f, 0.1f});
  const NetworkPtr ref = reference(4, {{0, 1}, {1, 2}});
  CaptureErr err;
  compare_pcgraph_prob(g.get(), freq.a, ref.get(), 0.3f, 5, "P");
  compare_pcgraph(g.get(), ref.get(), 0.3, 5, "Q");
  // (0, 1) reversed, (1, 2) missed, (2, 3) false once; three pairs untouched.
  EXPECT_EQ(err.text(),
            "---- PCGRAPH COMPARISON ----\n"
            "PL:\tITER\tCUTOFF\tTP\tRTP\tFP\tFN\tTN\tSn\tSp\n"
            "PR:\t5\t0.300\t0\t1\t1\t1\t3\t0.000\t0.000\n"
            "-------------------------------\n"
            "---- PCGRAPH COMPARISON ----\n"
            "QL:\tITER\tCUTOFF\tTP\tRTP\tFP\tFN\tTN\tSn\tSp\n"
            "QR:\t5\t0.300\t0\t1\t1\t1\t3\t0.000\t0.000\n"
            "-------------------------------\n");
}

TEST(CompareReports, SubnetworkOverNucleusPositions) {
  Tables t(6, 3, 0, 1);
  const NetworkPtr ref = reference(6, {{1, 4}, {5, 4}});
  t->reference = ref.get();
  // Positions 0, 1, 2 hold genes 1, 4, 5: 1 -> 4 found as 0 -> 1, 5 -> 4 found reversed.
  const unsigned short genes[3] = {1, 4, 5};
  vlk::Owned<VLK_Graph, VLK_Graph_delete> g(VLK_Graph_new(3));
  VLK_Graph_add_edge(g.get(), 0, 1);
  VLK_Graph_add_edge(g.get(), 1, 2);
  CaptureErr err;
  compare_subnetwork(t.get(), genes, g.get());
  t->reference = nullptr;
  EXPECT_EQ(err.text(),
            "---- SUBNETWORK COMPARISON ----\n"
            "SUBCMPL\tTP\tRTP\tFP\tFN\tTN\tSn\tSp\n"
            "SUBCMP\t1\t1\t0\t0\t1\t1.000\t0.500\n"
            "-------------------------------\n");
}

}  // namespace
