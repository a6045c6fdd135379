// The forms of the frequent-edge gathering: which directions of a pair each keeps, with which
// values and at which precision, and the record stream and values a process contributes.
#include "exchange/network_forms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "exchange/network_gathering.h"
#include "exchange_testing.h"

namespace {

using exchange::Kept;
using vlk_test::Ids;
using vlk_test::Tables;

// A verdict as text: "fwd(values) bwd(values)", "-" for a dropped direction.
template <class Form>
std::string verdict(const Form& form, int f, int b, int pc) {
  const Kept k = form.keep(f, b, pc);
  auto side = [](bool kept, const float* x) {
    if (!kept) return std::string("-");
    std::string s = "(";
    for (int i = 0; i < Form::stride; ++i) {
      char buf[32];
      std::snprintf(buf, sizeof buf, i ? ",%g" : "%g", static_cast<double>(x[i]));
      s += buf;
    }
    return s + ")";
  };
  return side(k.forward, k.fwd) + " " + side(k.backward, k.bwd);
}

TEST(NetworkForms, KeepRulesValuesAndPrecision) {
  using exchange::FreqCount, exchange::FreqSingle, exchange::FreqWidened, exchange::Majority;
  // f = 7 of pc = 10 at 0.7: the float quotient 0.69999999 is below the double 0.7 and equal
  // to the float 0.7f.
  EXPECT_EQ(verdict(FreqWidened{0.7}, 7, 0, 10), "- -");
  EXPECT_EQ(verdict(FreqSingle{0.7f}, 7, 0, 10), "(0.7) -");
  EXPECT_EQ(verdict(FreqCount{0.7f}, 7, 0, 10), "(0.7,10) -");
  EXPECT_EQ(verdict(Majority{0.7f}, 7, 0, 10), "(0.7,1,10) -");
  EXPECT_TRUE(exchange::FreqDouble{0.7f}.keep(7, 0, 10).forward);  // 0.7 >= 0.69999999
  EXPECT_FALSE(exchange::FreqDouble{0.71f}.keep(7, 0, 10).forward);
  EXPECT_EQ(verdict(FreqWidened{0.69999998}, 7, 0, 10), "(0.7) -");
  EXPECT_EQ(verdict(FreqWidened{0.7}, 7, 8, 10), "- (0.8)");

  // Half the pairs in each direction: no direction reaches 0.5, the pair does (tie: v -> w).
  EXPECT_EQ(verdict(FreqCount{0.5f}, 3, 3, 10), "- -");
  EXPECT_EQ(verdict(Majority{0.5f}, 3, 3, 10), "- (0.6,0.5,10)");
  // The majority direction w -> v with its share.
  EXPECT_EQ(verdict(Majority{0.5f}, 4, 1, 5), "(1,0.8,5) -");
  EXPECT_EQ(verdict(FreqCount{0.5f}, 4, 1, 5), "(0.8,5) -");
  EXPECT_EQ(verdict(Majority{0.5f}, 1, 2, 5), "- (0.6,0.666667,5)");
  EXPECT_EQ(verdict(Majority{0.7f}, 1, 2, 5), "- -");

  // At a threshold of 0 or below every pair qualifies, but one never seen as an edge has no
  // direction to keep.
  EXPECT_EQ(verdict(Majority{0.0f}, 0, 0, 4), "- -");
  EXPECT_EQ(verdict(Majority{-1.0f}, 0, 0, 4), "- -");
  EXPECT_EQ(verdict(Majority{0.0f}, 0, 1, 4), "- (0.25,1,4)");
  EXPECT_EQ(verdict(FreqCount{0.0f}, 0, 0, 4), "(0,4) (0,4)");
}

// Rank 1 of 2 over 8 genes owns 1, 3, 5, 7. Counts: 1 -> 3 twice and 3 -> 0 three times in 4
// nuclei with both; 7 -> 2 once, 2 -> 7 once, 6 -> 7 three times with pc 3; 5 met 4 once
// without an edge; pair (7, 4) has 5 edges but pc 1 below -c 2.
struct Fixture {
  Tables t{8, 2, 1, 2};
  Fixture() {
    t->min_pair_count = 2;
    const GeneLayout L = t.layout();
    auto fwd = [&](int v, int w, int c) { t->edge_counts[L.forward(L.local(v), w)] = c; };
    auto bwd = [&](int v, int w, int c) { t->edge_counts[L.backward(L.local(v), w)] = c; };
    auto pc = [&](int v, int w, int c) { t->pair_counts[L.pair(L.local(v), w)] = c; };
    fwd(3, 1, 2), pc(3, 1, 4);
    bwd(3, 0, 3), pc(3, 0, 4);
    bwd(7, 2, 1), fwd(7, 2, 1), pc(7, 2, 3);
    fwd(7, 6, 3), pc(7, 6, 3);
    pc(5, 4, 1);
    fwd(7, 4, 5), pc(7, 4, 1);
  }
  template <class Form>
  size_t collect(const Form& form, FILE* trace = nullptr) {
    return exchange::collect_network(t.layout(), t->edge_counts, t->pair_counts, t->min_pair_count,
                                     form, t->send_records, t->send_values, *t->exchange_work,
                                     trace);
  }
  // Each edge of the stream with its values: "pa->ch:x,y".
  std::vector<std::string> edges(int stride) const {
    std::vector<std::string> out;
    EdgeRecordReader reader(t->send_records->data, t->send_records->size);
    VLK_EdgeRecord rec;
    const float* x = t->send_values->data;
    auto add = [&](int pa, int ch) {
      std::string s = std::to_string(pa) + "->" + std::to_string(ch) + ":";
      for (int i = 0; i < stride; ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, i ? ",%g" : "%g", static_cast<double>(*x++));
        s += buf;
      }
      out.push_back(s);
    };
    while (reader.next(&rec)) {
      for (int i = 0; i < rec.num_pa; ++i) add(rec.parents[i], rec.v);
      for (int i = 0; i < rec.num_ch; ++i) add(rec.v, rec.children[i]);
    }
    EXPECT_EQ(x, t->send_values->data + t->send_values->size) << "values left over";
    return out;
  }
};

TEST(NetworkForms, EachEdgeOfTheStreamCarriesItsOwnValues) {
  Fixture fx;
  EXPECT_EQ(fx.collect(exchange::FreqCount{0.3f}), 10u);
  EXPECT_EQ(
      vlk_test::Ids(fx.t->send_records->data, fx.t->send_records->data + fx.t->send_records->size),
      (Ids{3, 1, 1, 1, 0, 7, 2, 1, 2, 6, 2}));
  EXPECT_EQ(fx.edges(2), (std::vector<std::string>{"1->3:0.5,4", "3->0:0.75,4", "2->7:0.333333,3",
                                                   "6->7:1,3", "7->2:0.333333,3"}));
  fx.collect(exchange::Majority{0.3f});
  EXPECT_EQ(fx.edges(3), (std::vector<std::string>{"1->3:0.5,1,4", "3->0:0.75,1,4", "6->7:1,1,3",
                                                   "7->2:0.666667,0.5,3"}));
}

TEST(NetworkForms, TheTraceListsEveryKeptEdgeWithItsRecordsGene) {
  Fixture fx;
  const std::string trace =
      vlk_test::capture([&](FILE* fp) { fx.collect(exchange::FreqSingle{0.5f}, fp); });
  EXPECT_EQ(trace,
            "[3] 3 -> 0 (0.750000)\n"
            "[3] 1 -> 3 (0.500000)\n"
            "[7] 6 -> 7 (1.000000)\n");
  const std::string trace5 =
      vlk_test::capture([&](FILE* fp) { fx.collect(exchange::Majority{0.9f}, fp); });
  EXPECT_EQ(trace5, "[7] 6 -> 7 (1.000000, 1.000000, 3)\n");
}

TEST(NetworkForms, AProcessWithoutKeptEdgesContributesNothing) {
  Fixture fx;
  EXPECT_EQ(fx.collect(exchange::FreqCount{1.5f}), 0u);
  EXPECT_EQ(fx.t->send_records->size, 0u);
  // Without the -c floor the pair (7, 4) counts, at 5 edges in 1 nucleus.
  fx.t->min_pair_count = 1;
  fx.collect(exchange::FreqCount{1.5f});
  EXPECT_EQ(fx.edges(2), std::vector<std::string>{"4->7:5,1"});
}

TEST(NetworkForms, TheCollectionOnlyFormCountsItsEdgesInDoublePrecisionAndAborts) {
  Fixture fx;
  // 3 -> 0 (0.75), 1 -> 3 (0.5), 6 -> 7 (1); 2 -> 7 and 7 -> 2 are 1/3 each.
  EXPECT_FATAL_ABORT(send_network(fx.t.get(), 0.5f),
                     "Collecting significant edges\n  Collected 3 edges\n");
  EXPECT_FATAL_ABORT(send_network(fx.t.get(), 0.3f),
                     "Collecting significant edges\n  Collected 5 edges\n");
}

}  // namespace
