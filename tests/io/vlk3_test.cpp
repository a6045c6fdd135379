// The VLK3 network format: the driver's final network against a golden file, a write-read
// round trip of every kind of property, the reader's tolerance and its refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "CSMLObject.h"
#include "VLK_IO.h"
#include "VLK_Object.h"
#include "VLK_VLK3.h"
#include "network_testing.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::NetworkPtr;

unsigned* new_value(unsigned v) {
  auto* p = static_cast<unsigned*>(std::malloc(sizeof v));
  *p = v;
  return p;
}
using Pairs = std::vector<std::pair<int, int>>;

struct Read {
  NetworkPtr net;
  std::string err;
};

Read read_text(const std::string& text) {
  vlk_test::TempFile file(text);
  vlk_test::CaptureErr err;
  FILE* fp = std::fopen(file.path().c_str(), "r");
  Read r;
  r.net.reset(VLK3_read_fp(fp, nullptr));
  std::fclose(fp);
  r.err = err.text();
  return r;
}

std::string written(const VLK_Network* net) {
  vlk_test::CaptureErr err;
  return vlk_test::capture([&](FILE* fp) { EXPECT_EQ(VLK3_write_fp(fp, net, nullptr), 0); });
}

// A property list as (key, type name, value text) entries in order.
using net_test::Props;
using net_test::props;

Props network_props(const VLK_Network* net) {
  Props out;
  for (size_t i = 0; net->properties != nullptr && i < VLK_KeyValues_size(net->properties); ++i) {
    const int type = VLK_KeyValues_get_type(net->properties, i);
    out.emplace_back(VLK_KeyValues_get_key(net->properties, i), VLK_Type_name(type),
                     vlk_test::capture([&](FILE* fp) {
                       VLK_Type_fprint_value(VLK_KeyValues_get_value(net->properties, i), type, fp);
                     }));
  }
  return out;
}

// Everything a reader can tell of a network: nodes with labels and properties, edges by pair
// in edge order with their properties, network properties, primary score.
struct Seen {
  std::vector<std::tuple<std::string, std::string, Props>> nodes;
  std::vector<std::tuple<int, int, Props>> edges;
  Props network;
  std::string primary;
  bool operator==(const Seen&) const = default;
};

Seen seen(const VLK_Network* net) {
  Seen s;
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i) {
    const VLK_Node* n = VLK_Network_get_node(net, static_cast<int>(i));
    s.nodes.emplace_back(n->name, n->alias, props(n->drawing));
  }
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    s.edges.emplace_back(e->parent->index, e->child->index, props(e->drawing));
  }
  s.network = network_props(net);
  s.primary = net->primary_score != nullptr ? net->primary_score : "<none>";
  return s;
}

void add_nodes(VLK_Network* net, const std::vector<std::pair<const char*, const char*>>& labels) {
  for (const auto& [name, alias] : labels) VLK_Network_add_node(net, VLK_Node_new(name, alias));
}

// The final network of the driver: one node per gene, an edge per frequent pair with
// "edgeScore" and "Freq" (the frequency) and "Count" (the pair count), and per node "Count",
// half the sum of the counts of its edges.
NetworkPtr final_network() {
  NetworkPtr net(VLK_Network_new());
  add_nodes(net.get(), {{"geneA", "A1"}, {"geneB", "B2"}, {"geneC", "C3"}});
  struct Pair {
    int parent, child;
    double freq;
    int count;
  };
  int sums[3] = {0, 0, 0};
  for (const Pair& p : {Pair{0, 1, 0.75, 4}, Pair{2, 1, 0.5, 3}, Pair{0, 2, 0.25, 7}}) {
    VLK_Edge* e = VLK_Network_add_edge_index(net.get(), p.parent, p.child);
    VLK_Edge_add_property_double(e, "edgeScore", p.freq);
    VLK_Edge_add_property_double(e, "Freq", p.freq);
    VLK_Edge_add_property_int(e, "Count", p.count);
    sums[p.parent] += p.count;
    sums[p.child] += p.count;
  }
  for (int i = 0; i < 3; ++i)
    VLK_Node_add_property_int(VLK_Network_get_node(net.get(), i), "Count", sums[i] / 2);
  return net;
}

std::string golden(const char* name) {
  const std::string here = __FILE__;
  return vlk_test::read_file(here.substr(0, here.rfind('/')) + "/golden/" + name);
}

TEST(Vlk3, FinalNetworkMatchesTheGoldenFile) {
  const std::string expect = golden("final_network.vlk3");
  ASSERT_FALSE(expect.empty());
  const NetworkPtr net = final_network();
  EXPECT_EQ(written(net.get()), expect);
  // Read back, it is the same network (primary score: the first edge attribute) and is
  // written the same again.
  const Read r = read_text(expect);
  ASSERT_NE(r.net, nullptr) << r.err;
  Seen want = seen(net.get());
  want.primary = "edgeScore";
  EXPECT_EQ(seen(r.net.get()), want);
  EXPECT_EQ(written(r.net.get()), expect);
}

// Double, int and string properties of nodes and edges, some missing on some of them, and
// network properties of the three types survive a write and a read.
TEST(Vlk3, RoundTripOfEveryPropertyType) {
  NetworkPtr net(VLK_Network_new());
  add_nodes(net.get(), {{"n0", "zero"}, {"n1", "one"}, {"n2", "two"}, {"n3", "three"}});
  VLK_Node* n0 = VLK_Network_get_node(net.get(), 0);
  CSMLObject_add_property_double(n0->drawing, "weight", -2.25);
  CSMLObject_add_property_int(n0->drawing, "rank", 7);
  CSMLObject_add_property_string(n0->drawing, "kind", "tf");
  CSMLObject_add_property_int(VLK_Network_get_node(net.get(), 2)->drawing, "rank", -3);
  CSMLObject_add_property_double(VLK_Network_get_node(net.get(), 3)->drawing, "weight", 0.5);
  CSMLObject_add_property_string(VLK_Network_get_node(net.get(), 3)->drawing, "kind", "gene x");
  VLK_Edge* e = VLK_Network_add_edge_index(net.get(), 3, 0);
  VLK_Edge_add_property_double(e, "score", 1.5);
  VLK_Edge_add_property_int(e, "hits", 12);
  VLK_Edge_add_property_string(e, "source", "chip");
  e = VLK_Network_add_edge_index(net.get(), 0, 2);
  VLK_Edge_add_property_double(e, "score", -0.125);
  e = VLK_Network_add_edge_index(net.get(), 1, 2);
  VLK_Edge_add_property_double(e, "score", 0.0);
  VLK_Edge_add_property_string(e, "source", "text");
  VLK_Network_add_edge_index(net.get(), 2, 3);
  VLK_Network_add_property_int(net.get(), "nuclei", 4000);
  VLK_Network_add_property(net.get(), "title", VLK_TYPE_STRING, strdup("test net"));
  VLK_Network_add_property(net.get(), "threshold", VLK_TYPE_DOUBLE, vlk::heap_value(0.2));

  const std::string text = written(net.get());
  const Read r = read_text(text);
  ASSERT_NE(r.net, nullptr) << r.err;
  Seen want = seen(net.get());
  want.primary = "score";
  // Edges are written by child, parents in list order: 3 -> 0, 0 -> 2, 1 -> 2, 2 -> 3.
  EXPECT_EQ(seen(r.net.get()), want);
  EXPECT_EQ(written(r.net.get()), text);
}

TEST(Vlk3, WriterLayout) {
  struct Case {
    const char* name;
    void (*build)(VLK_Network*);
    std::string text;
    std::string primary;  // of the network read back
  };
  const Case cases[] = {
      {"no properties: no attribute lines",
       [](VLK_Network* net) {
         add_nodes(net, {{"a", "A"}, {"b", "B"}});
         VLK_Network_add_edge_index(net, 1, 0);
       },
       "Velk VLK3 FORMAT\n[Information]\n\n[Nodes]\na\tA\t0\nb\tB\t1\n\n[Edges]\n1\t0\n", "<none>"},
      {"keys in order of first occurrence, with its type; empty fields where absent",
       [](VLK_Network* net) {
         add_nodes(net, {{"a", "A"}, {"b", "B"}, {"c", "C"}});
         VLK_Edge* e = VLK_Network_add_edge_index(net, 0, 2);
         VLK_Edge_add_property_int(e, "k", 1);
         e = VLK_Network_add_edge_index(net, 1, 0);
         VLK_Edge_add_property_string(e, "s", "x");
         VLK_Edge_add_property_int(e, "k", 2);
         VLK_Network_add_edge_index(net, 2, 0);
       },
       "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tk:int\ts:string\n\n[Nodes]\na\tA\t0\nb\tB\t1\n"
       "c\tC\t2\n\n[Edges]\n1\t0\t2\tx\n2\t0\t\t\n0\t2\t1\t\n",
       "k"},
      {"a network property value keeps the blanks it starts with",
       [](VLK_Network* net) {
         add_nodes(net, {{"a", "A"}});
         VLK_Network_add_property(net, "name", VLK_TYPE_STRING, strdup(" x"));
       },
       "Velk VLK3 FORMAT\n[Information]\nX:name:string\t x\n\n[Nodes]\na\tA\t0\n\n[Edges]\n",
       "<none>"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    NetworkPtr net(VLK_Network_new());
    k.build(net.get());
    EXPECT_EQ(written(net.get()), k.text);
    const Read r = read_text(k.text);
    ASSERT_NE(r.net, nullptr);
    EXPECT_EQ(seen(r.net.get()).primary, k.primary);
  }
}

// Blank lines, blanks around lines, lines the reader does not know, the node index field, a
// broken network property or one of a type without a text form (a warning each), a repeated edge
// (its properties added to the one edge), attribute fields left empty or beyond the declared ones,
// and "-", after which nothing is read.
TEST(Vlk3, TolerantReading) {
  const Read r = read_text(
      "Velk VLK3 FORMAT\n"
      "ignored before the information\n"
      "\n"
      "   [Information]  \n"
      "Edge Attr\tw:double\tlabel\n"
      "Some other information line\n"
      "X:broken\t1\n"
      "X:title:string\tmy net\n"
      "X:hue:colour\tred\n"
      "  Node Attr\tkind:str\tsize:integer\n"
      "\n"
      "[Nodes]\n"
      "  a\tA\t0\tleaf\t3\n"
      "b\tB\t7\n"
      "\n"
      "c\tC\t2\t\t5\textra\n"
      "[Edges]\n"
      "0\t1\t0.5\tfirst\n"
      "0\t1\t0.25\n"
      " 2\t1 \n"
      "-\n"
      "1\t2\t9\n"
      "not read either\n");
  ASSERT_NE(r.net, nullptr) << r.err;
  EXPECT_EQ(r.err,
            "Reading a VLK3 network file...\n"
            "  Edge Attributes: w (double) label (string)\n"
            "WARNING: VLK3: VLK_Network property format broken: \"X:broken\t1\"\n"
            "WARNING: VLK3: VLK_Network property format broken: \"X:hue:colour\tred\"\n"
            "  Node Attributes: kind (str) size (integer)\n"
            "  In total 3 nodes and 2 edges added.\n");
  Seen want;
  want.nodes = {{"a", "A", {{"kind", "string", "leaf"}, {"size", "int", "3"}}},
                {"b", "B", {}},
                {"c", "C", {{"size", "int", "5"}}}};
  want.edges = {
      {0,
       1,
       {{"w", "double", "0.500000"}, {"label", "string", "first"}, {"w", "double", "0.250000"}}},
      {2, 1, {}}};
  want.network = {{"title", "string", "my net"}};
  want.primary = "w";
  EXPECT_EQ(seen(r.net.get()), want);
}

// What the reader refuses (null, after a line-numbered message) and what it must not refuse.
TEST(Vlk3, MalformedInput) {
  const std::string head =
      "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tw:double\tn:int\n[Nodes]\na\tA\t0\nb\tB\t1\n"
      "[Edges]\n";
  const std::string reading =
      "Reading a VLK3 network file...\n  Edge Attributes: w (double) n (int)\n";
  struct Case {
    const char* name;
    std::string text;
    std::string err;  // empty: read, with the edges below
    Pairs edges = {};
  };
  const Case cases[] = {
      {"CR on the first line", "Velk VLK3 FORMAT\r\n[Information]\n",
       "Reading a VLK3 network file...\n"},
      {"blank before the first line", " Velk VLK3 FORMAT\n", "Reading a VLK3 network file...\n"},
      {"empty input", "", "Reading a VLK3 network file...\n"},
      {"child outside the nodes", head + "0\t2\n",
       reading + "ERROR: VLK3: line 8: the child is not the index of a node read before: \"2\"\n"},
      {"negative parent", head + "-1\t0\n",
       reading +
           "ERROR: VLK3: line 8: the parent is not the index of a node read before: \"-1\"\n"},
      {"parent not a number", head + "b\t0\n",
       reading + "ERROR: VLK3: line 8: the parent is not the index of a node read before: \"b\"\n"},
      {"edge before its node", "Velk VLK3 FORMAT\n[Information]\n[Nodes]\na\tA\t0\n[Edges]\n0\t1\n",
       "Reading a VLK3 network file...\n"
       "ERROR: VLK3: line 6: the child is not the index of a node read before: \"1\"\n"},
      {"one-field edge line", head + "1\t0\n0\n",
       reading + "ERROR: VLK3: line 9: an edge line needs a parent and a child: \"0\"\n"},
      {"one-field node line", "Velk VLK3 FORMAT\n[Information]\n[Nodes]\na\n",
       "Reading a VLK3 network file...\n"
       "ERROR: VLK3: line 4: a node line needs a name and an alias: \"a\"\n"},
      {"network property without a value", "Velk VLK3 FORMAT\n[Information]\nX:k:int\n",
       "Reading a VLK3 network file...\n"
       "ERROR: VLK3: line 3: network property without a value: \"X:k:int\"\n"},
      // A NUL byte would cut the line short: the first line would still compare equal, the
      // edge would lose its child.
      {"NUL byte in the first line", std::string("Velk VLK3 FORMAT\0x\n[Information]\n", 33),
       "Reading a VLK3 network file...\nERROR: VLK3: line 1: a NUL byte in the line\n"},
      {"NUL byte in an edge line", head + std::string("1\0\t0\n", 5),
       reading + "ERROR: VLK3: line 8: a NUL byte in the line\n"},
      // The registry reads these types but has no text for their values: every writer would
      // end on them.
      {"an attribute type no writer can print",
       "Velk VLK3 FORMAT\n[Information]\nNode Attr\tk:int\tn:uint\n",
       "Reading a VLK3 network file...\n  Node Attributes: k (int) n (uint)\n"
       "ERROR: VLK3: line 3: an attribute of a type no writer can print: \"n:uint\"\n"},
      {"a network property type no writer can print",
       "Velk VLK3 FORMAT\n[Information]\nX:w:Float\t0.5\n",
       "Reading a VLK3 network file...\n"
       "ERROR: VLK3: line 3: a network property of a type no writer can print: \"X:w:Float\"\n"},
      {"empty attribute fields are absent", head + "1\t0\t\t4\n0\t1\t\t\n", "", {{1, 0}, {0, 1}}},
      {"no newline after the last line", head + "1\t0\n0\t1", "", {{1, 0}, {0, 1}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const Read r = read_text(k.text);
    if (!k.err.empty()) {
      EXPECT_EQ(r.net, nullptr);
      EXPECT_EQ(r.err, k.err);
      continue;
    }
    ASSERT_NE(r.net, nullptr) << r.err;
    Pairs edges;
    for (const auto& e : seen(r.net.get()).edges)
      edges.emplace_back(std::get<0>(e), std::get<1>(e));
    EXPECT_EQ(edges, k.edges);
  }
  // The empty fields left the first edge with its int only and the second with nothing.
  const Read r = read_text(head + "1\t0\t\t4\n0\t1\t\t\n");
  EXPECT_EQ(std::get<2>(seen(r.net.get()).edges[0]), (Props{{"n", "int", "4"}}));
  EXPECT_EQ(std::get<2>(seen(r.net.get()).edges[1]), Props{});
}

// What the writer refuses before it writes anything: attributes and network properties that
// would read back as something else, or not at all; the first one found is named.
TEST(Vlk3, WriterRefusesWhatWouldNotReadBack) {
  const auto two_nodes = [] {
    NetworkPtr net(VLK_Network_new());
    VLK_Network_add_node(net.get(), VLK_Node_new("a", "A"));
    VLK_Network_add_node(net.get(), VLK_Node_new("b", "B"));
    VLK_Network_add_edge_index(net.get(), 0, 1);
    return net;
  };
  const auto node = [](VLK_Network* net, int i) { return VLK_Network_get_node(net, i)->drawing; };
  const auto edge = [](VLK_Network* net) { return VLK_Network_get_edge(net, 0)->drawing; };
  const std::string node1 = " of node 1 (counted from 0): ";
  struct Case {
    const char* name;
    std::function<void(VLK_Network*)> setup;
    std::string problem;  // empty: written and read back
  };
  const Case cases[] = {
      {"a key with a ':'",
       [&](VLK_Network* n) { CSMLObject_add_property_int(node(n, 1), "a:b", 1); },
       "ERROR: VLK3: cannot write the node attribute \"a:b\" (int)" + node1 +
           "its key holds a TAB, a line end or a ':'\n"},
      {"two types for one key",
       [&](VLK_Network* n) {
         CSMLObject_add_property_int(node(n, 0), "k", 1);
         CSMLObject_add_property_double(node(n, 1), "k", 1.5);
       },
       "ERROR: VLK3: cannot write the node attribute \"k\" (double)" + node1 +
           "its type differs from the one declared\n"},
      {"a key twice in one edge",
       [&](VLK_Network* n) {
         CSMLObject_add_property_int(edge(n), "w", 1);
         CSMLObject_add_property_int(edge(n), "w", 2);
       },
       "ERROR: VLK3: cannot write the edge attribute \"w\" (int) of the edge 0 -> 1: it comes "
       "twice\n"},
      {"a string with a TAB",
       [&](VLK_Network* n) { CSMLObject_add_property_string(edge(n), "s", "x\ty"); },
       "ERROR: VLK3: cannot write the edge attribute \"s\" (string) of the edge 0 -> 1: its "
       "value holds a TAB or a line end\n"},
      {"an empty string",
       [&](VLK_Network* n) { CSMLObject_add_property_string(node(n, 1), "s", ""); },
       "ERROR: VLK3: cannot write the node attribute \"s\" (string)" + node1 +
           "its value is an empty string, which reads back as an absent one\n"},
      {"a string ending with a blank",
       [&](VLK_Network* n) { CSMLObject_add_property_string(node(n, 1), "s", "x "); },
       "ERROR: VLK3: cannot write the node attribute \"s\" (string)" + node1 +
           "its value ends with a blank, which the reader may trim\n"},
      {"a type the reader does not take back",
       [&](VLK_Network* n) {
         CSMLObject_add_property(node(n, 1), "u", VLK_Object_new_value(new_value(7u), 2));
       },
       "ERROR: VLK3: cannot write the node attribute \"u\" (uint)" + node1 +
           "its type has no text form the reader reads back\n"},
      {"an empty network property",
       [&](VLK_Network* n) { VLK_Network_add_property(n, "title", 5, strdup("")); },
       "ERROR: VLK3: cannot write the network property \"title\": its value is empty or ends "
       "with a blank, which the reader trims\n"},
      {"a network property key with a ':'",
       [&](VLK_Network* n) { VLK_Network_add_property(n, "a:b", 5, strdup("v")); },
       "ERROR: VLK3: cannot write the network property \"a:b\": its key holds a TAB, a line end "
       "or a ':'\n"},
      {"blanks inside, a string after a blank, a leading blank",
       [&](VLK_Network* n) {
         CSMLObject_add_property_string(node(n, 1), "s", " x y");
         VLK_Network_add_property(n, "title", 5, strdup("  a b"));
       },
       ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const NetworkPtr net = two_nodes();
    k.setup(net.get());
    EXPECT_EQ(vlk::io::write_problem(net.get(), "vlk3"), k.problem);
    if (!k.problem.empty()) continue;
    const Read back = read_text(written(net.get()));
    ASSERT_NE(back.net, nullptr);
    EXPECT_EQ(props(VLK_Network_get_node(back.net.get(), 1)->drawing),
              props(VLK_Network_get_node(net.get(), 1)->drawing));
    EXPECT_EQ(network_props(back.net.get()), network_props(net.get()));
  }
  // The writer ends with the line on the standard error stream, and writes nothing.
  const NetworkPtr net = two_nodes();
  cases[0].setup(net.get());
  const net_test::Stop r = net_test::stop_of([&] { VLK3_write_fp(stdout, net.get(), nullptr); });
  EXPECT_TRUE(r.end.exit1());
  EXPECT_TRUE(r.stderr_text.ends_with(cases[0].problem)) << r.stderr_text;
}

TEST(Vlk3, PathFormsAndFailingStreams) {
  const NetworkPtr net = final_network();
  vlk_test::TempFile out("");
  {
    vlk_test::CaptureErr err;
    EXPECT_EQ(VLK3_write_file(out.path().c_str(), net.get(), nullptr), 0);
    const NetworkPtr back(VLK3_read_file(out.path().c_str(), nullptr));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(VLK_Network_num_edges(back.get()), 3u);
  }
  EXPECT_EQ(vlk_test::read_file(out.path()), golden("final_network.vlk3"));
  vlk_test::CaptureErr err;
  EXPECT_EQ(VLK3_read_file("/nonexistent/net.vlk3", nullptr), nullptr);
  EXPECT_EQ(VLK3_write_file("/nonexistent/net.vlk3", net.get(), nullptr), 1);
  EXPECT_EQ(err.text(),
            "VLK3_read_file(): cannot open file: /nonexistent/net.vlk3\n"
            "VLK3_write_file(): cannot open file: /nonexistent/net.vlk3\n");
  // A device that takes nothing: the writers say so.
  EXPECT_NE(VLK3_write_file("/dev/full", net.get(), nullptr), 0);
  FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  EXPECT_NE(VLK3_write_fp(full, net.get(), nullptr), 0);
  std::fclose(full);
}

TEST(Vlk3, GraphWriterWritesTheHeader) {
  vlk::Owned<VLK_Graph, VLK_Graph_delete> g(VLK_Graph_new(2));
  vlk_test::CaptureErr err;
  EXPECT_EQ(
      vlk_test::capture([&](FILE* fp) { EXPECT_EQ(VLK3_write_graph_fp(fp, g.get(), nullptr), 0); }),
      "Velk VLK3 FORMAT\n[Information]\n\n");
  EXPECT_EQ(err.text(), "Writing a graph in VLK3 format...\n");
}

}  // namespace
