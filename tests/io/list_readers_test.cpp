// The DAG, TXTS, PALIST and PARAOS readers: a fixture each with the nodes and edges it must
// give, a table of broken files per format with the exact refusal, and the edge counts over
// several TXTS files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VLK_IO.h"
#include "VLK_ListReaders.h"
#include "network_testing.h"
#include "vlk_test.h"

namespace {

using net_test::read_text;
using net_test::Seen;

// The eight lines of a DAG record: node line, count line, parent line, four lines not read
// (anything goes there) and the empty line.
std::string dag_record(const std::string& node, const std::string& count,
                       const std::string& parents) {
  return node + "\n" + count + "\n" + parents + "\nscore 1 2\n  \n7 7 7 7 7\nx\n\n";
}

TEST(Dag, Records) {
  const std::string text = dag_record("x y 0 geneA geneB", "a b c 1", "2") +
                           dag_record("  x y 1 ", "a b c 0", "") +
                           dag_record("x y 2 geneC", "a b c 2", "0 1");
  const net_test::Read r = read_text(DAG_read_fp, text);
  ASSERT_NE(r.net, nullptr) << r.err;
  // Parents may come from records further down; edges follow the records' order.
  EXPECT_EQ(net_test::seen(r.net.get()), (Seen{{"geneA/geneB", "Node 1/Node 1", "geneC/geneC"},
                                               {"geneC>geneA", "geneA>geneC", "Node 1>geneC"}}));
  EXPECT_EQ(r.err,
            "Reading a DAG network file...\nnode: geneA (0)\n  Constructing a network "
            "structure...\n  Finished. nodes=3,  edges=3.\n");
  EXPECT_EQ(read_text(DAG_read_fp, "").net->nodes->size, 0u);

  vlk_test::CaptureErr err;
  EXPECT_EQ(DAG_read_file("/nonexistent/net.dag", nullptr), nullptr);
  EXPECT_EQ(err.text(), "DAG_read_file(): cannot open file: /nonexistent/net.dag\n");
}

TEST(Dag, BrokenFiles) {
  const std::string head = "Reading a DAG network file...\n";
  const std::string good = dag_record("x y 0", "a b c 0", "");
  struct Case {
    const char* name;
    std::string text;
    std::string err;  // after the first line
  };
  const Case cases[] = {
      {"node line without an id", "x y\n", "ERROR: file boken at line 1\n  Node ID missing.\n"},
      {"count line of three tokens", "x y 0\na b 1\n",
       "ERROR: file boken at line 2\n  No. of parents missing.\n"},
      {"count that is no number", "x y 0\na b c two\n",
       "ERROR: file boken at line 2\n  No. of parents missing.\n"},
      {"fewer parents than counted", "x y 0\na b c 2\n0\n",
       "ERROR: file boken at line 3\n  No. of parents inconsistent. [this=1 vs prev=2]\n"
       "  line 3> 0\n"},
      {"two blanks make an empty token", "x y 0\na b c 1\n0  0\n",
       "ERROR: file boken at line 3\n  No. of parents inconsistent. [this=3 vs prev=1]\n"
       "  line 3> 0  0\n"},
      {"eighth line not empty", "x y 0\na b c 0\n\n1\n2\n3\n4\nmore\n",
       "ERROR: file boken at line 8\n"},
      {"record id other than its number", good + "x y 5\n",
       "ERROR: file boken at line 9\n  Node ID inconsistent. [this=5 vs record=1]\n"},
      {"record id that is no number", "x y first\n",
       "ERROR: file boken at line 1\n  Node ID inconsistent. [this=first vs record=0]\n"},
      {"parent id that is no number", "x y 0\na b c 1\n-1\n",
       "ERROR: file boken at line 3\n  Parent ID broken: \"-1\"\n"},
      {"parent id of no record", dag_record("x y 0", "a b c 1", "1"),
       "  Constructing a network structure...\n"
       "ERROR: file boken at line 3\n  Parent ID 1 not found. [nodes=1]\n"},
      {"file ending inside a record", good + "x y 1\na b c 1\n0\n",
       "ERROR: file boken at line 12\n  The file ends inside a record.\n"},
      {"file missing the last empty line", "x y 0\na b c 0\n\n1\n2\n3\n4\n",
       "ERROR: file boken at line 8\n  The file ends inside a record.\n"},
      {"NUL byte", std::string("x y 0 a\0b\n", 10), "ERROR: a NUL byte in line 1\n"},
      {"two blanks before the name", good + "x y 1  gene alias\n",
       "ERROR: file boken at line 9\n  Node name empty (two blanks before it).\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const net_test::Stop s = net_test::stop_reading(DAG_read_fp, k.text);
    EXPECT_TRUE(s.end.exit1()) << "status " << s.end.status << " signal " << s.end.signal;
    EXPECT_EQ(s.end.err, head + k.err);
  }
}

TEST(Txts, IndexLines) {
  struct Case {
    const char* name;
    std::string text;
    Seen want;
    int edges;  // edges read, repeated ones included
  };
  const Case cases[] = {
      {"a child alone makes the nodes up to it",
       "3\n",
       {{"G1/G1", "G2/G2", "G3/G3", "G4/G4"}, {}},
       0},
      {"parents above the child",
       "3\t0\t5\n",
       {{"G1/G1", "G2/G2", "G3/G3", "G4/G4", "G5/G5", "G6/G6"}, {"G1>G4", "G6>G4"}},
       2},
      {"repeats counted, not added; empty lines skipped; '-' ends",
       "1\t0\t0\n\n 0 \t 1 \n-\n9\t9\n",
       {{"G1/G1", "G2/G2"}, {"G1>G2", "G2>G1"}},
       3},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const net_test::Read r = read_text(TXTS_read_fp, k.text);
    ASSERT_NE(r.net, nullptr);
    EXPECT_EQ(net_test::seen(r.net.get()), k.want);
    EXPECT_EQ(r.err, "Reading TXTS network file...\n  Read " + std::to_string(k.want.nodes.size()) +
                         " nodes, " + std::to_string(k.edges) + " edges.\n");
  }
}

TEST(Txts, BrokenFiles) {
  struct Case {
    std::string text;
    std::string err;
  };
  const Case cases[] = {
      {"-1\t0\n", "ERROR: TXTS: Invalid index found at line 1: -1\n"},
      {"2\t-3\n", "ERROR: TXTS: Invalid index found at line 1: -3\n"},
      {"2\tx\n", "ERROR: TXTS: Invalid index found at line 1: x\n"},
      {"1\n2\t\n", "ERROR: TXTS: Empty field found at line 2.\n"},
      {"1\t\t0\n", "ERROR: TXTS: Empty field found at line 1.\n"},
      {"\t0\n", "ERROR: TXTS: Empty field found at line 1.\n"},
      {"0\t65535\n", "ERROR: TXTS: Too large index found at line 1: 65535\n"},
      {"99999999999999999999\n",
       "ERROR: TXTS: Too large index found at line 1: 99999999999999999999\n"},
      {std::string("0\t1\0\n", 5), "ERROR: a NUL byte in line 1\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.err);
    const net_test::Stop s = net_test::stop_reading(TXTS_read_fp, k.text);
    EXPECT_TRUE(s.end.exit1());
    EXPECT_EQ(s.end.err, "Reading TXTS network file...\n" + k.err);
  }
}

TEST(Txts, CountEdgesOverFiles) {
  vlk_test::TempFile first("1\t0\n2\t0\t1\n-\n1\t0\n");
  vlk_test::TempFile second("0\t2\n-\n");
  const std::vector<std::string> paths = {first.path(), "/nonexistent/nets.txts", second.path()};
  vlk::Owned<VLK_StrArray, VLK_StrArray_delete_all> list(VLK_StrArray_new());
  for (const std::string& p : paths) VLK_StrArray_add_copy(list.get(), p.c_str());
  std::vector<double> cells(9, 0.0);
  double* rows[] = {&cells[0], &cells[3], &cells[6]};
  vlk_test::CaptureErr err;
  // Two networks in each file: the second file's last line "-" opens an empty one.
  EXPECT_EQ(TXTS_count_edges(list.get(), rows, 3), 4);
  EXPECT_EQ(cells, (std::vector<double>{0, 2, 1, 0, 0, 1, 1, 0, 0}));
  EXPECT_EQ(err.text(), "Processing: " + paths[0] +
                            "\n  Read 2 nodes, 3 edges.\n  Read 1 nodes, 1 edges.\nProcessing: " +
                            paths[1] + "\nProcessing: " + paths[2] +
                            "\n  Read 1 nodes, 1 edges.\n  Read 0 nodes, 0 edges.\n");

  // A pair outside the matrix is refused, not counted beside it.
  vlk_test::TempFile outside("0\t1\n1\t3\n");
  vlk::Owned<VLK_StrArray, VLK_StrArray_delete_all> one(VLK_StrArray_new());
  VLK_StrArray_add_copy(one.get(), outside.path().c_str());
  EXPECT_FATAL_EXIT(
      TXTS_count_edges(one.get(), rows, 3),
      "Processing: " + outside.path() + "\nERROR: TXTS: Too large index found at line 2: 3\n");
}

TEST(Palist, Lists) {
  const std::string text = "a\tb\tc\n# a\tcomment\n\nd\ta\t\n\ta\tz\na\tb\n-\nx\ty\n";
  struct Case {
    const char* options;
    Seen want;
    std::string mode;
  };
  const Case cases[] = {
      {nullptr, {{"a/a", "b/b", "c/c", "d/d"}, {"b>a", "c>a", "a>d"}}, ""},
      {"ch=on",
       {{"a/a", "b/b", "c/c", "d/d"}, {"a>b", "a>c", "d>a"}},
       "  Child list mode specified.\n"},
      {"ch=T",
       {{"a/a", "b/b", "c/c", "d/d"}, {"a>b", "a>c", "d>a"}},
       "  Child list mode specified.\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.options ? k.options : "(none)");
    const net_test::Read r = read_text(PALIST_read_fp, text, k.options);
    ASSERT_NE(r.net, nullptr) << r.err;
    EXPECT_EQ(net_test::seen(r.net.get()), k.want);
    EXPECT_EQ(r.err, "Reading a text network file (PALIST) ...\n" + k.mode +
                         "In total 4 nodes and 3 edges added.\n");
  }
}

TEST(Palist, Refusals) {
  const net_test::Read r = read_text(PALIST_read_fp, "a\tb\n", "children");
  EXPECT_EQ(r.net, nullptr);
  EXPECT_EQ(r.err, "EROR: PALIST_read_fp(): unknown argumnet specified: children\n");
  EXPECT_FATAL_EXIT(PALIST_read_file("/nonexistent/lists.txt", nullptr),
                    "ERROR: Cannot open file: /nonexistent/lists.txt\n");
  const net_test::Stop s = net_test::stop_reading(PALIST_read_fp, std::string("a\tb\0c\n", 6));
  EXPECT_TRUE(s.end.exit1());
  EXPECT_EQ(s.end.err, "Reading a text network file (PALIST) ...\nERROR: a NUL byte in line 1\n");
  // The registry reads it whatever the case of its name.
  vlk_test::TempFile file("a\tb\n");
  vlk_test::CaptureErr err;
  const vlk::NetworkPtr net(IO_read_file(file.path().c_str(), "pAlIsT", nullptr));
  EXPECT_EQ(net_test::seen(net.get()), (Seen{{"a/a", "b/b"}, {"b>a"}}));
}

TEST(Paraos, NodeLines) {
  const net_test::Read r = read_text(VLK_PARAOS_read_fp, "paraos\t1\t3\nx\t2\ny\nz\t0\t1\t0\n");
  ASSERT_NE(r.net, nullptr);
  // Edges by child in node order, each child's parents in line order.
  EXPECT_EQ(net_test::seen(r.net.get()), (Seen{{"x/x", "y/y", "z/z"}, {"z>x", "x>z", "y>z"}}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.stderr_text,
            "PARAOS: Reading a PARAOS network file...\nPARAOS: Number of nodes: 3\n");
}

TEST(Paraos, BrokenFiles) {
  const std::string head = "PARAOS: Reading a PARAOS network file...\n";
  struct Case {
    const char* name;
    std::string text;
    std::string on_stderr;  // after the first line
  };
  const Case cases[] = {
      {"empty file", "", "ERROR: Input file broken at line 1.\n"},
      {"no count", "paraos\t1\n", "ERROR: Input file broken at line 1.\n"},
      {"other format", "PARAOS\t1\t2\n", "ERROR: Input file broken at line 1.\n"},
      {"no nodes", "paraos\t1\t0\n", "ERROR: Input file broken at line 1.\n"},
      {"no nodes, other version", "paraos\t2\t0\n", "ERROR: Input file broken at line 1.\n"},
      {"negative count", "paraos\t1\t-2\n", "ERROR: Input file broken at line 1.\n"},
      {"other version", "paraos\t2\t5\n", "ERROR: Format not supported.\n"},
      {"parent index at the count", "paraos\t1\t2\na\t2\nb\n",
       "PARAOS: Number of nodes: 2\nERROR: Input file broken at line 2.\n"},
      {"empty parent field", "paraos\t1\t2\na\nb\t\n",
       "PARAOS: Number of nodes: 2\nERROR: Input file broken at line 3.\n"},
      {"more node lines than counted", "paraos\t1\t2\na\nb\nc\n",
       "PARAOS: Number of nodes: 2\nERROR: Input file broken at line 4.\n"},
      {"fewer node lines than counted", "paraos\t1\t3\na\nb\t0\n",
       "PARAOS: Number of nodes: 3\nERROR: Input file broken at line 4.\n"},
      {"NUL byte", std::string("paraos\t1\t2\na\0\nb\n", 16),
       "PARAOS: Number of nodes: 2\nERROR: Input file broken at line 2.\n"},
      {"node line without a name", "paraos\t1\t2\na\n\t0\n",
       "PARAOS: Number of nodes: 2\nERROR: Input file broken at line 3.\n"
       "  The node name is empty.\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const net_test::Stop s = net_test::stop_reading(VLK_PARAOS_read_fp, k.text);
    EXPECT_TRUE(s.end.exit1()) << "status " << s.end.status << " signal " << s.end.signal;
    EXPECT_EQ(s.stderr_text, head + k.on_stderr);
    EXPECT_EQ(s.end.err, "");
  }
}

}  // namespace
