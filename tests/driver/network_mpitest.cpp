// Gathering the frequent-edge network: exchange_network gives every process the same graph,
// whatever the process count, with each edge's value beside it; the gathers to process 0 keep
// what each form's rule keeps, at its precision, and leave the walk network alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "VLK_PCGraph.h"
#include "exchange/network_gathering.h"
#include "exchange_testing.h"
#include "mpi_test.h"
#include "nuclei_fixture.h"

namespace {

using namespace vlk_test;
using Edges = std::vector<std::string>;

std::string value_text(float x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", static_cast<double>(x));
  return buf;
}

// Edge k of g as "pa->ch:values", values k * stride .. of `values`, in edge order.
Edges edges_of(const VLK_PCGraph* g, const VLK_FloatArray* values, int stride) {
  Edges out;
  EXPECT_EQ(values->size, VLK_PCGraph_num_edges(g) * stride);
  for (size_t k = 0; k < VLK_PCGraph_num_edges(g); ++k) {
    int pa = -1, ch = -1;
    VLK_PCGraph_get_edge_index(g, k, &pa, &ch);
    std::string s = std::to_string(pa) + "->" + std::to_string(ch) + ":";
    for (int i = 0; i < stride; ++i)
      s += (i ? "," : "") + value_text(values->data[k * static_cast<size_t>(stride) + i]);
    out.push_back(s);
  }
  return out;
}

Edges sorted(Edges e) {
  std::sort(e.begin(), e.end());
  return e;
}

// The last process's list of edges, in its order, on every process.
Edges from_last(const Edges& mine) {
  std::string text;
  for (const std::string& e : mine) text += e + "\n";
  int size = static_cast<int>(text.size());
  const int last = procs() - 1;
  MPI_Bcast(&size, 1, MPI_INT, last, MPI_COMM_WORLD);
  text.resize(static_cast<size_t>(size));
  MPI_Bcast(text.data(), size, MPI_CHAR, last, MPI_COMM_WORLD);
  Edges out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The edges a threshold keeps, straight from the serial counts: frequencies as float quotients,
// compared as doubles (walk network) or as floats (gathers).
Edges model_edges(const Model& m, double th, bool single) {
  Edges out;
  auto kept = [&](int count, int pc) {
    const float q = static_cast<float>(count) / static_cast<float>(pc);
    return single ? q >= static_cast<float>(th) : static_cast<double>(q) >= th;
  };
  for (int v = 0; v < kGenes; ++v) {
    for (int w = 0; w < v; ++w) {
      const int pc = m.pc[v][w];
      if (pc < 1) continue;
      const float pcf = static_cast<float>(pc);
      if (kept(m.f[v][w], pc))
        out.push_back(std::to_string(w) + "->" + std::to_string(v) + ":" +
                      value_text(static_cast<float>(m.f[v][w]) / pcf));
      if (kept(m.b[v][w], pc))
        out.push_back(std::to_string(v) + "->" + std::to_string(w) + ":" +
                      value_text(static_cast<float>(m.b[v][w]) / pcf));
    }
  }
  return sorted(out);
}

TEST(ExchangeNetwork, EveryProcessGetsTheSameNetworkWhateverTheProcessCount) {
  Tables t(kGenes, kModule, rank(), procs());
  {
    CaptureErr quiet;
    run_jobs(t.get(), 11, 2);
  }
  const Model m(11);
  for (double th : {0.3, 0.5, 1.0}) {
    SCOPED_TRACE(testing::Message() << "th=" << th << " rank=" << rank());
    {
      CaptureErr quiet;
      exchange_network(t.get(), th);
    }
    const Edges walk = edges_of(t->whole_network, t->edge_values, 1);
    EXPECT_FALSE(walk.empty());
    // The edge set and each edge's value follow from the counts alone; the order (and so the
    // edge indexes) is the same on every process.
    EXPECT_EQ(sorted(walk), model_edges(m, th, false));
    EXPECT_EQ(walk, from_last(walk));

    // The gathers build process 0's own network and leave the walk network as it is.
    {
      CaptureErr quiet;
      send_network3(t.get(), static_cast<float>(th));
    }
    if (rank() == 0) {
      EXPECT_EQ(sorted(edges_of(t->gathered_network, t->gathered_values, 1)),
                model_edges(m, th, true));
    } else {
      EXPECT_EQ(t->gathered_network, nullptr);
    }
    {
      CaptureErr quiet;
      send_network4(t.get(), static_cast<float>(th));
      send_network5(t.get(), static_cast<float>(th));
      send_network2(t.get(), static_cast<float>(th));
    }
    EXPECT_EQ(edges_of(t->whole_network, t->edge_values, 1), walk);
  }
}

// Counts set straight into the tables of 25 genes with -c 2: gene 12 and 24 carry the cases,
// owned by process 0 under 1 to 4 processes; the pair (23, 1) is on the last process, with
// edges but below -c, so every other process keeps nothing.
class Pinned : public testing::Test {
 protected:
  Tables t{25, 5, rank(), procs()};
  void SetUp() override {
    t->min_pair_count = 2;
    set(12, 3, 7, 0, 10);  // 7 of 10: 0.69999999f
    set(12, 5, 3, 3, 10);  // half each way
    set(24, 4, 4, 1, 5);   // a clear majority
    set(24, 7, 0, 0, 6);   // met, never an edge
    set(23, 1, 5, 5, 1);   // below -c
  }
  void set(int v, int w, int f, int b, int pc) {
    const GeneLayout L = t.layout();
    if (!L.owns(v)) return;
    t->edge_counts[L.forward(L.local(v), w)] = f;
    t->edge_counts[L.backward(L.local(v), w)] = b;
    t->pair_counts[L.pair(L.local(v), w)] = pc;
  }
};

TEST_F(Pinned, EachFormKeepsWhatItsRuleKeepsWithItsValues) {
  struct Row {
    const char* form;
    float th;
    Edges expected;
  };
  const Row rows[] = {
      {"3", 0.7f, {"3->12:0.7", "4->24:0.8"}},
      {"2", 0.7f, {"3->12:0.7", "4->24:0.8"}},
      {"4", 0.7f, {"3->12:0.7,10", "4->24:0.8,5"}},
      {"5", 0.7f, {"3->12:0.7,1,10", "4->24:1,0.8,5"}},
      {"4", 0.5f, {"3->12:0.7,10", "4->24:0.8,5"}},
      {"5", 0.5f, {"12->5:0.6,0.5,10", "3->12:0.7,1,10", "4->24:1,0.8,5"}},
      {"5", 0.0f, {"12->5:0.6,0.5,10", "3->12:0.7,1,10", "4->24:1,0.8,5"}},
      {"5", -1.0f, {"12->5:0.6,0.5,10", "3->12:0.7,1,10", "4->24:1,0.8,5"}},
      {"4",
       0.0f,
       {"12->3:0,10", "12->5:0.3,10", "24->4:0.2,5", "24->7:0,6", "3->12:0.7,10", "4->24:0.8,5",
        "5->12:0.3,10", "7->24:0,6"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "send_network" << row.form << " th=" << row.th);
    CaptureErr quiet;
    using Form = void (*)(Args*, float);
    const Form forms[] = {send_network2, send_network3, send_network4, send_network5};
    const int strides[] = {1, 1, 2, 3};
    const int i = row.form[0] - '2';
    forms[i](t.get(), row.th);
    const int stride = strides[i];
    if (rank() == 0) {
      EXPECT_EQ(sorted(edges_of(t->gathered_network, t->gathered_values, stride)), row.expected);
    }
  }
  // The walk network compares the float 0.69999999 with the double 0.7: 3 -> 12 is out.
  {
    CaptureErr quiet;
    exchange_network(t.get(), 0.7);
  }
  EXPECT_EQ(edges_of(t->whole_network, t->edge_values, 1), Edges{"4->24:0.8"});
  {
    CaptureErr quiet;
    exchange_network(t.get(), 0.69999998);
  }
  EXPECT_EQ(sorted(edges_of(t->whole_network, t->edge_values, 1)),
            (Edges{"3->12:0.7", "4->24:0.8"}));
}

TEST_F(Pinned, ProgressLinesAndTraces) {
  CaptureErr err;
  t->debug = 1;
  send_network4(t.get(), 0.7f);
  std::vector<std::string> expected = {"send_network4 (th=0.700000) called at *"};
  if (rank() == 0)
    expected.insert(expected.end(), {"[12] 3 -> 12 (0.700000, 10)", "[24] 4 -> 24 (0.800000, 5)"});
  expected.push_back("  gathering edges to the root at *");
  expected.push_back("  finished gathering edges at *");
  if (rank() == 0)
    expected.insert(expected.end(),
                    {"  Constructing a whole network (total_num=8)",
                     "ADDING: [12] 3 -> 12 (0.700000, 10)", "ADDING: [24] 4 -> 24 (0.800000, 5)"});
  expected.insert(expected.end(),
                  {"send_network4(): Finished at *",
                   "send_network4(): Running time: 0 day 00 hour 00 min *", "*\tsec in total."});
  expect_lines(err.text(), expected);
  EXPECT_GT(t->timer->times[4], 0.0);
  EXPECT_EQ(t->timer->current, -1);

  CaptureErr err2;
  t->debug = 0;
  exchange_network(t.get(), 0.5);
  expect_lines(
      err2.text(),
      {"exchange_network(th=0.500000) called at *", "Collecting significant edges.",
       rank() == 0 ? "  Collected 2 edges at *" : "  Collected 0 edges at *",
       "Edge numbers received. total_num=8, total_edges=2", "  at *", "Finished edge exchange at *",
       "Constructing a whole network.", "exchange_network() done at *",
       "exchange_network() Running time: 0 day 00 hour 00 min *", "*\tsec in total."});
}

}  // namespace
