// The BSF format: numerals both ways, the reader on a small file and on broken ones, and a
// network and a graph written and read back.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "VLK_BSF.h"
#include "VLK_IO.h"
#include "network_testing.h"
#include "vlk_test.h"

namespace {

using net_test::read_text;
using net_test::Seen;

std::string encoded(int v) {
  char buf[7];
  BSF_encode(buf, v);
  return buf;
}

TEST(Bsf, Numerals) {
  struct Case {
    int value;
    const char* numeral;
  };
  const Case cases[] = {{0, "A"},  {25, "Z"},  {26, "a"},    {52, "0"},     {62, "+"},
                        {63, "/"}, {64, "BA"}, {4095, "//"}, {4096, "BAA"}, {INT_MAX, "B/////"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.value);
    EXPECT_EQ(encoded(k.value), k.numeral);
    EXPECT_EQ(BSF_decode(k.numeral), k.value);
  }
  for (int v = 0; v < 300000; v += 997) EXPECT_EQ(BSF_decode(encoded(v).c_str()), v);
  EXPECT_EQ(BSF_decode(""), 0);
  EXPECT_EQ(BSF_decode("AAAAAAAAAAB"), 1);  // leading zeros are no overflow

  EXPECT_FATAL_EXIT(BSF_encode(std::vector<char>(7).data(), -1),
                    "ERROR: BSF: Invalid value found when encoding: -1\n");
  for (const char* bad : {"B@", "BA=", "-", "A A", "\xc3\xa9"}) {
    SCOPED_TRACE(bad);
    EXPECT_FATAL_EXIT(
        BSF_decode(bad),
        std::string("ERROR: BSF: Invalid character found when decoding: ") + bad + "\n");
  }
  EXPECT_FATAL_EXIT(BSF_decode("CAAAAA"),  // 2^31
                    "ERROR: BSF: Too large value found when decoding: CAAAAA\n");
}

TEST(Bsf, Reader) {
  struct Case {
    const char* name;
    std::string text;
    Seen want;
  };
  const Case cases[] = {
      {"every line a node",
       "\nA\nA\tB\n",
       {{"G1/G1", "G2/G2", "G3/G3"}, {"G1>G2", "G1>G3", "G2>G3"}}},
      {"a parent further down makes the nodes up to it",
       "J\n",
       {{"G1/G1", "G2/G2", "G3/G3", "G4/G4", "G5/G5", "G6/G6", "G7/G7", "G8/G8", "G9/G9",
         "G10/G10"},
        {"G10>G1"}}},
      {"a repeated parent once; '-' ends", "\nA\tA\n-\nA\tB\n", {{"G1/G1", "G2/G2"}, {"G1>G2"}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const net_test::Read r = read_text(BSF_read_fp, k.text);
    ASSERT_NE(r.net, nullptr);
    EXPECT_EQ(net_test::seen(r.net.get()), k.want);
    EXPECT_EQ(r.err, "Reading a BSF network file...\n");
  }

  vlk_test::CaptureErr err;
  EXPECT_EQ(BSF_read_file("/nonexistent/net.bsf", nullptr), nullptr);
  EXPECT_EQ(err.text(), "BSF_read_file(): cannot open file: /nonexistent/net.bsf\n");
  // The path reader is not the registry's; the graph writer is.
  EXPECT_EQ(IO_get_file_reader("BSF"), nullptr);
  EXPECT_EQ(IO_get_graph_writer("bsf"), BSF_write_graph_fp);
}

TEST(Bsf, BrokenFiles) {
  struct Case {
    std::string text;
    std::string err;
  };
  const Case cases[] = {
      {"A\t\tB\n", "ERROR: BSF: Empty field found when decoding.\n  at line 1.\n"},
      {"\nB\t\n", "ERROR: BSF: Empty field found when decoding.\n  at line 2.\n"},
      {"\t\n", "ERROR: BSF: Empty field found when decoding.\n  at line 1.\n"},
      {"\n\nA@\n", "ERROR: BSF: Invalid character found when decoding: A@\n  at line 3.\n"},
      {"A B\n", "ERROR: BSF: Invalid character found when decoding: A B\n  at line 1.\n"},
      {"P//\n", "ERROR: BSF: Too large value found when decoding: P//\n  at line 1.\n"},  // 65535
      {"A\tCAAAAA\n", "ERROR: BSF: Too large value found when decoding: CAAAAA\n  at line 1.\n"},
      {std::string("A\0\n", 3), "ERROR: a NUL byte in line 1\n"},
      {std::string(65536, '\n'), "ERROR: BSF: Too many lines.\n  at line 65536.\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.err);
    const net_test::Stop s = net_test::stop_reading(BSF_read_fp, k.text);
    EXPECT_TRUE(s.end.exit1());
    EXPECT_EQ(s.end.err, "Reading a BSF network file...\n" + k.err);
  }
}

TEST(Bsf, WrittenAndReadBack) {
  // Parent lists not in ascending order, indexes of two digits, isolated nodes.
  const vlk::NetworkPtr net = net_test::random_network(3, 120, 400);
  std::string text;
  {
    vlk_test::CaptureErr err;
    text = vlk_test::capture([&](FILE* fp) { EXPECT_EQ(BSF_write_fp(fp, net.get(), nullptr), 0); });
    EXPECT_EQ(err.text(), "Writing a network in BSF format...\n");
  }
  const net_test::Read r = read_text(BSF_read_fp, text);
  ASSERT_NE(r.net, nullptr);
  ASSERT_EQ(VLK_Network_num_nodes(r.net.get()), 120u);
  for (int i = 0; i < 120; ++i) {
    const VLK_IntArray* a = VLK_Network_get_parent_indexes(net.get(), i);
    const VLK_IntArray* b = VLK_Network_get_parent_indexes(r.net.get(), i);
    EXPECT_EQ(std::vector<int>(a->data, a->data + a->size),
              std::vector<int>(b->data, b->data + b->size))
        << "node " << i;
  }

  // The graph form writes the same lines; a node without parents is an empty line.
  vlk::Owned<VLK_Graph, VLK_Graph_delete> g(VLK_Graph_new(4));
  VLK_Graph_add_edge(g.get(), 3, 0);
  VLK_Graph_add_edge(g.get(), 1, 0);
  VLK_Graph_add_edge(g.get(), 0, 2);
  vlk_test::CaptureErr err;
  EXPECT_EQ(
      vlk_test::capture([&](FILE* fp) { EXPECT_EQ(BSF_write_graph_fp(fp, g.get(), nullptr), 0); }),
      "D\tB\n\nA\n\n");
  EXPECT_EQ(err.text(), "Writing a graph in BSF format...\n");
}

}  // namespace
