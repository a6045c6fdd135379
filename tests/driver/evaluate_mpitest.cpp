// Evaluation across processes: the distributed counts and the gathered network's counts agree
// with each other and with a serial count of the same nuclei, whatever the process count, and
// the evaluations after the check intervals follow the DAG interval.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "VLK_DoubleArray.h"
#include "VLK_Network.h"
#include "VLK_PCGraph.h"
#include "evaluation/evaluate.h"
#include "exchange/network_gathering.h"
#include "exchange_testing.h"
#include "graph_testing.h"
#include "mpi_test.h"
#include "nuclei_fixture.h"
#include "vlk_owned.h"

namespace {

using namespace vlk_test;
using Row = std::array<long long, 4>;  // TP, RTP, FP, FN

// Pair w < v of the reference: w -> v, v -> w, both ways or none; a fixed pattern that hits
// pairs of every kind of count.
enum RefKind { kForward = 0, kBackward = 1, kBoth = 3 };
int ref_kind(int w, int v) { return (w * 7 + v * 3) % 5; }
bool ref_forward(int w, int v) { return ref_kind(w, v) == kForward || ref_kind(w, v) == kBoth; }
bool ref_backward(int w, int v) { return ref_kind(w, v) == kBackward || ref_kind(w, v) == kBoth; }

vlk::NetworkPtr make_reference() {
  Pairs edges;
  for (int v = 0; v < kGenes; ++v)
    for (int w = 0; w < v; ++w) {
      if (ref_forward(w, v)) edges.emplace_back(w, v);
      if (ref_backward(w, v)) edges.emplace_back(v, w);
    }
  return network_of(kGenes, edges);
}

// Whether the serial counts of the nuclei find w -> v and v -> w (w < v) at cutoff c.
std::pair<bool, bool> found(const Model& m, int w, int v, float c) {
  const int pc = m.pc[v][w];
  const auto reaches = [&](int count) {
    return pc >= 1 && static_cast<float>(count) / static_cast<float>(pc) >= c;
  };
  return {reaches(m.f[v][w]), reaches(m.b[v][w])};
}

// The counts of one cutoff straight from the serial counts of the nuclei.
Row serial_row(const Model& m, float c) {
  Row r{};
  for (int v = 0; v < kGenes; ++v)
    for (int w = 0; w < v; ++w) {
      const auto [fwd, bwd] = found(m, w, v, c);
      // One verdict per reference edge; a pair without one is false when found either way.
      if (ref_forward(w, v)) ++r[fwd ? 0 : bwd ? 1 : 3];
      if (ref_backward(w, v)) ++r[bwd ? 0 : fwd ? 1 : 3];
      if (!ref_forward(w, v) && !ref_backward(w, v) && (fwd || bwd)) ++r[2];
    }
  return r;
}

// The TP .. FN columns of the lines beginning with `lead`.
std::vector<Row> rows(const std::string& text, const std::string& lead) {
  std::vector<Row> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with(lead)) continue;
    std::istringstream fields(line.substr(lead.size()));
    int iteration = 0;
    double cutoff = 0;
    Row r{};
    fields >> iteration >> cutoff >> r[0] >> r[1] >> r[2] >> r[3];
    out.push_back(r);
  }
  return out;
}

class Evaluation : public testing::Test {
 protected:
  Tables t{kGenes, kModule, rank(), procs()};
  vlk::NetworkPtr ref = make_reference();
  vlk::Owned<VLK_DoubleArray, VLK_DoubleArray_delete> cutoffs{VLK_DoubleArray_new()};
  void SetUp() override {
    {
      CaptureErr quiet;
      run_jobs(t.get(), 11, 2);
    }
    for (double c : {0.5, 0.2, 1.0}) VLK_DoubleArray_add(cutoffs.get(), c);
    t->reference = ref.get();
    t->cutoffs = cutoffs.get();
    if (rank() == 0) t->dag = VLK_PCGraph_new(kGenes);
  }
  void TearDown() override {
    VLK_PCGraph_delete(t->dag);
    t->dag = nullptr;
    t->reference = nullptr;
    t->cutoffs = nullptr;
  }
};

TEST_F(Evaluation, BothRoadsGiveTheSerialCounts) {
  const Model m(11);
  std::vector<Row> want;
  for (size_t k = 0; k < cutoffs->size; ++k)
    want.push_back(serial_row(m, static_cast<float>(cutoffs->data[k])));

  std::string distributed, gathered;
  {
    CaptureErr err;
    compare_nuclei(t.get(), 100, cutoffs.get());
    distributed = err.text();
  }
  {
    CaptureErr err;
    send_network3(t.get(), vlk::eval::smallest_cutoff(cutoffs.get()));
    if (rank() == 0)
      for (size_t k = 0; k < cutoffs->size; ++k)
        compare_pcgraph_prob2(t->gathered_network, t->gathered_values, ref.get(),
                              static_cast<float>(cutoffs->data[k]), 100, "COM");
    gathered = err.text();
  }
  if (rank() == 0) {
    // The nuclei give every kind of count at the smallest cutoff, and among the pairs the
    // reference holds both ways some are found both ways, some one way and some not at all.
    for (long long count : want[1]) EXPECT_GT(count, 0);
    std::set<int> two_way;
    for (int v = 0; v < kGenes; ++v)
      for (int w = 0; w < v; ++w)
        if (ref_kind(w, v) == kBoth) {
          const auto [fwd, bwd] = found(m, w, v, 0.2f);
          two_way.insert(int{fwd} + int{bwd});
        }
    EXPECT_EQ(two_way, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(rows(distributed, "COMR:"), want) << distributed;
    EXPECT_EQ(rows(gathered, "COMR:"), want) << gathered;
    // One row per cutoff, in list order.
    EXPECT_NE(distributed.find("COMR:\t100\t0.500\t"), std::string::npos);
    EXPECT_LT(distributed.find("\t0.500\t"), distributed.find("\t0.200\t"));
  } else {
    // The sums and their lines are the root's alone.
    EXPECT_EQ(distributed.find("COM"), std::string::npos) << distributed;
  }
}

TEST_F(Evaluation, DagIntervalSchedulesTheGatheredEvaluations) {
  t->dag_interval = 300;
  int next = t->dag_interval;
  std::string kinds;
  for (int iteration = 100; iteration <= 600; iteration += 100) {
    CaptureErr err;
    evaluate(t.get(), iteration, &next);
    const std::string text = err.text();
    const bool dag = text.find("Starting DAG evaluation at ") != std::string::npos;
    kinds += dag ? 'D' : 'C';
    if (rank() == 0) {
      const std::string it = std::to_string(iteration);
      EXPECT_NE(text.find((dag ? "DAGCMPR:\t" : "COMR:\t") + it + "\t0.500\t"), std::string::npos)
          << text;
    }
  }
  EXPECT_EQ(kinds, "CCDCCD");
  EXPECT_EQ(next, 900);
  EXPECT_EQ(t->last_dag_eval, 600);
  EXPECT_EQ(t->last_eval, 600);

  // After the run: nothing more when the last DAG evaluation was at the final count; else a DAG
  // evaluation there, with the edge counts when the count itself went unevaluated.
  for (int final_count : {600, 650}) {
    t->iterations = final_count;
    CaptureErr err;
    final_evaluation(t.get());
    const std::string text = err.text();
    if (final_count == 600) {
      EXPECT_EQ(text, "");
    } else if (rank() == 0) {
      EXPECT_EQ(rows(text, "COMR:").size(), 3u) << text;
      EXPECT_EQ(rows(text, "DAGCMPR:").size(), 3u) << text;
    }
  }
}

}  // namespace
