// The LIST and NODELIST tables: golden files of both, the node order with ties, the filter
// and its unreadable file, the centrality columns, the degree distribution of networks with
// and without edges, and the refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "CSMLObject.h"
#include "VLK_IO.h"
#include "VLK_LIST.h"
#include "vlk_owned.h"
#include "vlk_test.h"
#include "writer_testing.h"

namespace {

using vlk::NetworkPtr;
using writer_test::KeyValuesPtr;
using writer_test::network;

// What a writer wrote to its stream and to VELK_ERR.
struct Output {
  std::string file, err;
};

Output write(int (*writer)(FILE*, const VLK_Network*, const VLK_KeyValues*), const VLK_Network* net,
             const char* options = nullptr) {
  const KeyValuesPtr list(options != nullptr ? VLK_KeyValues_parse(options) : nullptr);
  vlk_test::CaptureErr err;
  Output out;
  out.file = vlk_test::capture([&](FILE* fp) { EXPECT_EQ(writer(fp, net, list.get()), 0); });
  out.err = err.text();
  return out;
}

TEST(ListFormat, EdgeTableWithEveryPropertyKey) {
  const NetworkPtr net = network({{"a", "A"}, {"b", "B"}, {"c", "C"}}, {{0, 1}, {1, 2}, {0, 2}});
  VLK_Edge_add_property_double(VLK_Network_get_edge(net.get(), 0), "Freq", 0.5);
  VLK_Edge* second = VLK_Network_get_edge(net.get(), 1);
  VLK_Edge_add_property_int(second, "Count", 3);
  VLK_Edge_add_property_double(second, "Freq", 0.25);
  const Output out = write(LIST_write_fp, net.get());
  EXPECT_EQ(out.file,
            "Pa\tCh\tPa2\tCh2\tFreq\tCount\n"
            "a\tb\tA\tB\t0.500000\t\n"
            "b\tc\tB\tC\t0.250000\t3\n"
            "a\tc\tA\tC\t\t\n");
  EXPECT_EQ(out.err, "Outputting in LIST format.\n");
}

// Nodes n0..n5; children: n1, n3 and n5 one each, the rest none. n1 carries an int "Count",
// n2 a string "note" and then a "Count".
NetworkPtr ties() {
  NetworkPtr net =
      network({{"n0", "A0"}, {"n1", "A1"}, {"n2", "A2"}, {"n3", "A3"}, {"n4", "A4"}, {"n5", "A5"}},
              {{5, 0}, {3, 1}, {1, 2}});
  VLK_Node_add_property_int(VLK_Network_get_node(net.get(), 1), "Count", 7);
  CSMLObject* d2 = VLK_Network_get_node(net.get(), 2)->drawing;
  CSMLObject_add_property_string(d2, "note", "x y");
  CSMLObject_add_property_int(d2, "Count", 2);
  return net;
}

TEST(NodeListFormat, MostChildrenFirstAndTiesInIndexOrder) {
  const NetworkPtr net = ties();
  const Output out = write(NODELIST_write_fp, net.get());
  EXPECT_EQ(out.file,
            "Name\tAlias\tNum Ch\tNum Pa\tTotal deg\tCount\tnote\n"
            "n1\tA1\t1\t1\t2\t7\t\n"
            "n3\tA3\t1\t0\t1\t\t\n"
            "n5\tA5\t1\t0\t1\t\t\n"
            "n0\tA0\t0\t1\t1\t\t\n"
            "n2\tA2\t0\t1\t1\t2\tx y\n"
            "n4\tA4\t0\t0\t0\t\t\n");
  EXPECT_EQ(out.err,
            "Outputting in NODELIST format.\n"
            "  6 nodes remain.\n"
            "===NODE DEGREE DISTRIBUTION===\n"
            "Max Degree = 2\n"
            "0\t0.166667\n"
            "1\t0.666667\n"
            "2\t0.166667\n");
}

TEST(NodeListFormat, FilterCentralitiesAndDistribution) {
  const NetworkPtr fan = network({{"a", "A"}, {"b", "B"}, {"c", "C"}}, {{0, 1}, {0, 2}});
  vlk_test::TempFile only_c("c\tkept\n");
  const std::string missing = only_c.path() + ".missing";
  struct Case {
    const char* what;
    std::string options;
    std::string file, err;
  };
  const std::string dist =
      "===NODE DEGREE DISTRIBUTION===\nMax Degree = 2\n0\t0.000000\n1\t0.500000\n2\t0.250000\n";
  const Case cases[] = {
      {"plain", "",
       "Name\tAlias\tNum Ch\tNum Pa\tTotal deg\na\tA\t2\t0\t2\nb\tB\t0\t1\t1\nc\tC\t0\t1\t1\n",
       "Outputting in NODELIST format.\n  3 nodes remain.\n" + dist},
      {"filtered", "filter_nodes=" + only_c.path(),
       "Name\tAlias\tNum Ch\tNum Pa\tTotal deg\tOrig Rank\nc\tC\t0\t1\t1\t3\n",
       "Outputting in NODELIST format.\n  Filtering by nodes specified: " + only_c.path() +
           "\n  1 nodes remain.\n" + dist},
      {"a filter file that cannot be read", "filter_nodes=" + missing,
       "Name\tAlias\tNum Ch\tNum Pa\tTotal deg\na\tA\t2\t0\t2\nb\tB\t0\t1\t1\nc\tC\t0\t1\t1\n",
       "Outputting in NODELIST format.\n  Filtering by nodes specified: " + missing +
           "\nWARNING: failed to read: " + missing + "\n  3 nodes remain.\n" + dist},
      {"centralities", "closeness,betweenness",
       "Name\tAlias\tNum Ch\tNum Pa\tTotal deg\tbetweenness\tcloseness\n"
       "a\tA\t2\t0\t2\t0.000000\t0.666667\n"
       "b\tB\t0\t1\t1\t0.000000\t0.000000\n"
       "c\tC\t0\t1\t1\t0.000000\t0.000000\n",
       "Outputting in NODELIST format.\n  Calculating betweenness.\n  Calculating closeness.\n"
       "  3 nodes remain.\n" +
           dist},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Output out = write(NODELIST_write_fp, fan.get(), k.options.c_str());
    EXPECT_EQ(out.file, k.file);
    EXPECT_EQ(out.err, k.err);
  }

  // The betweenness column holds the node's value: the middle of a chain.
  const NetworkPtr chain = network({{"a", "A"}, {"b", "B"}, {"c", "C"}}, {{0, 1}, {1, 2}});
  EXPECT_NE(
      write(NODELIST_write_fp, chain.get(), "betweenness").file.find("b\tB\t1\t1\t2\t1.000000\n"),
      std::string::npos);
}

TEST(NodeListFormat, DistributionWithoutEdgesOrNodes) {
  const NetworkPtr alone = network({{"a", "A"}, {"b", "B"}}, {});
  const NetworkPtr empty = network({}, {});
  const std::string zero = "===NODE DEGREE DISTRIBUTION===\nMax Degree = 0\n0\t0.000000\n";
  EXPECT_EQ(write(NODELIST_write_fp, alone.get(), "betweenness,closeness").file,
            "Name\tAlias\tNum Ch\tNum Pa\tTotal deg\tbetweenness\tcloseness\n"
            "a\tA\t0\t0\t0\t0.000000\t0.000000\n"
            "b\tB\t0\t0\t0\t0.000000\t0.000000\n");
  EXPECT_NE(write(NODELIST_write_fp, alone.get()).err.find("  2 nodes remain.\n" + zero),
            std::string::npos);
  const Output none = write(NODELIST_write_fp, empty.get(), "betweenness,closeness");
  EXPECT_EQ(none.file, "Name\tAlias\tNum Ch\tNum Pa\tTotal deg\tbetweenness\tcloseness\n");
  EXPECT_NE(none.err.find("  0 nodes remain.\n" + zero), std::string::npos);

  vlk_test::CaptureErr err;
  NODELIST_dist(nullptr, 0);
  EXPECT_EQ(err.text(), zero);
}

TEST(ListFormats, RegisteredAndRefusals) {
  EXPECT_EQ(IO_get_writer("list"), LIST_write_fp);
  EXPECT_EQ(IO_get_file_writer("List"), LIST_write_file);
  EXPECT_EQ(IO_get_writer("nodelist"), NODELIST_write_fp);
  EXPECT_EQ(IO_get_file_writer("NODELIST"), NODELIST_write_file);
  EXPECT_EQ(IO_get_reader("NODELIST"), nullptr);

  const NetworkPtr net = network({{"a", "A"}}, {});
  {
    vlk_test::CaptureErr err;
    EXPECT_EQ(LIST_write_file("/nonexistent/out.list", net.get(), nullptr), 1);
    EXPECT_EQ(NODELIST_write_file("/nonexistent/out.nodes", net.get(), nullptr), 1);
    EXPECT_EQ(err.text(),
              "ERROR: LIST_write_file(): Cannot open file: /nonexistent/out.list\n"
              "ERROR: NODELIST_write_file(): Cannot open file: /nonexistent/out.nodes\n");
  }
  vlk_test::TempFile out("");
  {
    vlk_test::CaptureErr err;
    EXPECT_EQ(NODELIST_write_file(out.path().c_str(), net.get(), nullptr), 0);
  }
  EXPECT_EQ(vlk_test::read_file(out.path()),
            "Name\tAlias\tNum Ch\tNum Pa\tTotal deg\na\tA\t0\t0\t0\n");

  const KeyValuesPtr bad(VLK_KeyValues_parse("betweenness,bogus=1"));
  EXPECT_FATAL_EXIT(NODELIST_write_fp(stdout, net.get(), bad.get()),
                    "ERROR: unknown argument: bogus\n");
}

}  // namespace
