// The VLK2 and VLK formats: writers against fixed texts, VLK2 read back (empty aliases and a
// network without nodes included), the reader's tolerance and its refusals.
#include <gtest/gtest.h>

#include <string>

#include "VLK_IO.h"
#include "VLK_VLK2.h"
#include "network_testing.h"
#include "vlk_test.h"

namespace {

using net_test::read_text;
using net_test::Seen;

// a/A, b with an empty alias, c/C; b -> a with score 0.5 and tag "x", c -> a with tag only,
// a -> c without properties.
vlk::NetworkPtr small_network(const char* primary) {
  vlk::NetworkPtr net(VLK_Network_new());
  for (const auto& [name, alias] : {std::pair{"a", "A"}, {"b", ""}, {"c", "C"}})
    VLK_Network_add_node(net.get(), VLK_Node_new(name, alias));
  VLK_Edge* e = VLK_Network_add_edge_index(net.get(), 1, 0);
  VLK_Edge_add_property_double(e, "score", 0.5);
  VLK_Edge_add_property_string(e, "tag", "x");
  e = VLK_Network_add_edge_index(net.get(), 2, 0);
  VLK_Edge_add_property_string(e, "tag", "y");
  VLK_Network_add_edge_index(net.get(), 0, 2);
  if (primary != nullptr) VLK_Network_set_primary_score(net.get(), primary);
  return net;
}

constexpr const char* kSmallVlk2 =
    "Velk VLK2 FORMAT\n[Information]\nNodes\t3\nEdge Info\tgain\tbspline\n\n[Options]\n\n"
    "[Children]\na\tA\nb\t\nc\tC\n\n[Parents]\na\tA\tb\tscore=0.500000, tag=x\tc\ttag=y\nb\t\n"
    "c\tC\ta\t\n";

std::string vlk2_text(const VLK_Network* net) {
  return vlk_test::capture([&](FILE* fp) { EXPECT_EQ(VLK2_write_fp(fp, net, nullptr), 0); });
}

TEST(Vlk2, WriterLayoutAndReadBack) {
  const vlk::NetworkPtr net = small_network(nullptr);
  EXPECT_EQ(vlk2_text(net.get()), kSmallVlk2);
  const net_test::Read r = read_text(VLK2_read_fp, kSmallVlk2);
  ASSERT_NE(r.net, nullptr) << r.err;
  EXPECT_EQ(net_test::seen(r.net.get()), (Seen{{"a/A", "b/", "c/C"}, {"b>a", "c>a", "a>c"}}));
  EXPECT_EQ(VLK_Edge_get_property_size(VLK_Network_get_edge(r.net.get(), 0)), 0u);
  EXPECT_EQ(r.err, "VLK2: Read 3 nodes.\n");
}

TEST(Vlk2, RoundTrips) {
  // Random parent lists over nodes of which every fifth has an empty alias.
  const vlk::NetworkPtr net = net_test::random_network(5, 60, 200);
  const net_test::Read r = read_text(VLK2_read_fp, vlk2_text(net.get()));
  ASSERT_NE(r.net, nullptr) << r.err;
  EXPECT_EQ(net_test::seen(r.net.get()).nodes, net_test::seen(net.get()).nodes);
  EXPECT_EQ(net_test::parent_lists(r.net.get(), false), net_test::parent_lists(net.get(), false));

  // A network without nodes reads back as one.
  const vlk::NetworkPtr none(VLK_Network_new());
  const net_test::Read empty = read_text(VLK2_read_fp, vlk2_text(none.get()));
  ASSERT_NE(empty.net, nullptr) << empty.err;
  EXPECT_EQ(VLK_Network_num_nodes(empty.net.get()), 0u);
}

TEST(Vlk2, ReaderTolerance) {
  // Whatever stands before [Children] and after the last parents line is not read; blank
  // lines and blanks around lines are passed over.
  const std::string text =
      "Velk VLK2 FORMAT\nnoise\tx\n[Information]\nNodes\t99\n[Children]\n[Options]\n"
      "[Parents]\n\n  [Children]  \n\n  a\tA  \nb\tB\n[Parents]\n  b\tB\ta\tw=1\n a\tA\n"
      "c\tC\tz\n[Parents]\n";
  const net_test::Read r = read_text(VLK2_read_fp, text);
  ASSERT_NE(r.net, nullptr) << r.err;
  EXPECT_EQ(net_test::seen(r.net.get()), (Seen{{"a/A", "b/B"}, {"a>b"}}));
}

TEST(Vlk2, BrokenFiles) {
  const std::string head = "Velk VLK2 FORMAT\n[Information]\n[Options]\n[Children]\na\tA\nb\tB\n";
  struct Case {
    const char* name;
    std::string text;
    std::string err;
  };
  const Case cases[] = {
      {"other first line", "Velk VLK3 FORMAT\n", ""},
      {"first line with a CR", "Velk VLK2 FORMAT\r\n[Information]\n", ""},
      {"no first line", "", ""},
      {"a node line of one name", head + "c\n", "ERROR: VLK2: requires two names at line 7.\n"},
      {"a parents line of one name", head + "[Parents]\na\n",
       "VLK2: Read 2 nodes.\nERROR: VLK2: requires two names at line 8.\n"},
      {"an unknown node", head + "[Parents]\nz\tZ\n",
       "VLK2: Read 2 nodes.\nERROR: VLK2: unknown genens found in [Parent] section: z\n"},
      {"an unknown parent", head + "[Parents]\na\tA\tb\t\tq\t\n",
       "VLK2: Read 2 nodes.\nERROR: VLK2: unknown genens found in [Parent] section: q\n"},
      {"one node twice, another never", head + "[Parents]\na\tA\na\tA\nb\tB\n",
       "VLK2: Read 2 nodes.\nERROR: VLK2: file broken.\n"},
      {"ends inside [Parents]", head + "[Parents]\na\tA\n",
       "VLK2: Read 2 nodes.\nERROR: VLK2: file broken\n"},
      {"ends before [Parents]", head, "ERROR: VLK2: file broken\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const net_test::Read r = read_text(VLK2_read_fp, k.text);
    EXPECT_EQ(r.net, nullptr);
    EXPECT_EQ(r.err, k.err);
  }
  const net_test::Stop s = net_test::stop_reading(VLK2_read_fp, head + std::string("c\0d\tC\n", 6));
  EXPECT_TRUE(s.end.exit1());
  EXPECT_EQ(s.end.err, "ERROR: a NUL byte in line 7\n");

  vlk_test::CaptureErr err;
  EXPECT_EQ(VLK2_read_file("/nonexistent/net.vlk2", nullptr), nullptr);
  EXPECT_EQ(err.text(), "VLK2_read_file(): cannot open file: /nonexistent/net.vlk2\n");
}

// A TAB or a line end in an edge's property text would make a piece of it a parent's name; the
// writer refuses it before writing anything. Other texts are written, and not read.
TEST(Vlk2, WriterRefusesPropertiesThatBreakTheParentsLine) {
  for (const char* text : {"a\tb", "a\nb", "a b, c=d"}) {
    SCOPED_TRACE(text);
    vlk::NetworkPtr net(VLK_Network_new());
    VLK_Network_add_node(net.get(), VLK_Node_new("p", "P"));
    VLK_Network_add_node(net.get(), VLK_Node_new("c", "C"));
    VLK_Edge_add_property_string(VLK_Network_add_edge_index(net.get(), 0, 1), "note", text);
    const std::string problem = vlk::io::write_problem(net.get(), "VLK2");
    if (std::string(text).find_first_of("\t\n") == std::string::npos) {
      EXPECT_EQ(problem, "");
      continue;
    }
    EXPECT_EQ(problem,
              "ERROR: VLK2: cannot write the edge p -> c: its property \"note\" holds a TAB or a "
              "line end, and the parents line would not read back\n");
    const net_test::Stop r = net_test::stop_of([&] { VLK2_write_fp(stdout, net.get(), nullptr); });
    EXPECT_TRUE(r.end.exit1());
    EXPECT_TRUE(r.stderr_text.ends_with(problem)) << r.stderr_text;
  }
}

TEST(Vlk, Writer) {
  const std::string top =
      "Children\nGene Name\tGene Explanation\tChildren Gene Names\na\tA\nb\t\nc\tC\n\n"
      "Parents\nGene Name\tGene Explanation\tParents Gene Names\n";
  struct Case {
    const char* primary;
    std::string parents;
    std::string err;
  };
  const Case cases[] = {
      {"score", "a\tA\tb\t0.500000\tc\t0.0\nb\t\nc\tC\ta\t0.0\n",
       "WARNING: VLK: cannot find key: score.\n"},
      {"tag", "a\tA\tb\tx\tc\ty\nb\t\nc\tC\ta\t0.0\n", "WARNING: VLK: cannot find key: tag.\n"},
      {nullptr, "a\tA\tb\t0.0\tc\t0.0\nb\t\nc\tC\ta\t0.0\n",
       "WARNING: VLK: the network has no primary score key.\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.primary ? k.primary : "(no key)");
    const vlk::NetworkPtr net = small_network(k.primary);
    vlk_test::CaptureErr err;
    EXPECT_EQ(vlk_test::capture([&](FILE* fp) {
                EXPECT_EQ(IO_output_network_fp(fp, net.get(), "vlk", nullptr), 0);
              }),
              top + k.parents);
    EXPECT_EQ(err.text(), k.err);
  }
  // Without edges nothing is missing.
  const vlk::NetworkPtr bare(VLK_Network_new());
  VLK_Network_add_node(bare.get(), VLK_Node_new("g", "G"));
  vlk_test::CaptureErr err;
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_write_fp(fp, bare.get(), nullptr); }),
            "Children\nGene Name\tGene Explanation\tChildren Gene Names\ng\tG\n\n"
            "Parents\nGene Name\tGene Explanation\tParents Gene Names\ng\tG\n");
  EXPECT_EQ(err.text(), "");
}

}  // namespace
