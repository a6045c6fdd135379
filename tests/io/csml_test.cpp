// The CSML format: a fact-mode write and read of every attribute the two carry, the structure
// of process mode, the arrows, place holders and extra objects as the project's own parser sees
// them, the writer's options, the reader's rules and refusals, and a check of the output by an
// independent XML parser.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "CSMLObject.h"
#include "VLK_CSML.h"
#include "VLK_IO.h"
#include "VLK_Object.h"
#include "VLK_SAX.h"
#include "network_testing.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::NetworkPtr;
using Pairs = std::vector<std::pair<int, int>>;

struct Written {
  std::string text;
  std::string err;
};

// The project written with the options given as an argument string (null: none).
std::string project_of(const VLK_Network* net, const char* options) {
  vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> list(
      options != nullptr ? VLK_KeyValues_parse(options) : nullptr);
  return vlk_test::capture([&](FILE* fp) { EXPECT_EQ(VLK_CSML_write_fp(fp, net, list.get()), 0); });
}

Written write(const VLK_Network* net, const char* options = nullptr) {
  vlk_test::CaptureErr err;
  Written w;
  w.text = project_of(net, options);
  w.err = err.text();
  return w;
}

struct Read {
  NetworkPtr net;
  std::string err;
};

NetworkPtr network_of(const std::string& text) {
  FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  NetworkPtr net(VLK_CSML_read_fp(fp, nullptr));
  std::fclose(fp);
  return net;
}

Read read(const std::string& text) {
  vlk_test::CaptureErr err;
  Read r;
  r.net = network_of(text);
  r.err = err.text();
  return r;
}

// ---- the document as the project's parser sees it -------------------------------------------

struct Element {
  std::string name;
  std::map<std::string, std::string> attrs;  // the first of a repeated key
  std::string attr(const std::string& key) const {
    const auto at = attrs.find(key);
    return at != attrs.end() ? at->second : "<none>";
  }
};

struct Document {
  std::vector<Element> elements;  // in document order
  std::vector<std::string> open;  // the stack of open elements
  bool balanced = true;           // every end tag closed the innermost open element
};

// The elements of a text; every end tag must close the innermost open element.
Document elements(const std::string& text) {
  vlk::SAXPtr sax(VLK_SAX_new());
  VLK_SAX_set_start(sax.get(), [](void* data, const char* name, const VLK_KeyValues* attrs) {
    Document& d = *static_cast<Document*>(data);
    Element e{name, {}};
    for (size_t i = 0; i < VLK_KeyValues_size(attrs); ++i)
      e.attrs.emplace(VLK_KeyValues_get_key(attrs, i),
                      static_cast<const char*>(VLK_KeyValues_get_value(attrs, i)));
    d.elements.push_back(std::move(e));
    d.open.emplace_back(name);
  });
  VLK_SAX_set_end(sax.get(), [](void* data, const char* name) {
    Document& d = *static_cast<Document*>(data);
    if (d.open.empty() || d.open.back() != name) d.balanced = false;
    if (!d.open.empty()) d.open.pop_back();
  });
  Document d;
  FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  EXPECT_EQ(VLK_SAX_parse(sax.get(), fp, &d), 0);
  std::fclose(fp);
  EXPECT_TRUE(d.balanced && d.open.empty());
  return d;
}

// Elements of one name, in order.
std::vector<const Element*> named(const Document& d, const std::string& name) {
  std::vector<const Element*> out;
  for (const Element& e : d.elements)
    if (e.name == name) out.push_back(&e);
  return out;
}

std::vector<std::string> ids(const Document& d, const std::string& name) {
  std::vector<std::string> out;
  for (const Element* e : named(d, name)) out.push_back(e->attr("id"));
  return out;
}

// ---- networks --------------------------------------------------------------------------------

using net_test::Props;
using net_test::props;

std::string fill_color(const CSMLObject* obj) {
  char buf[CSMLObject_COLOR_EXPR_SIZE];
  CSMLObject_get_fill_color_expr(obj, buf);
  return buf;
}

std::string line_color(const CSMLObject* obj) {
  char buf[CSMLObject_COLOR_EXPR_SIZE];
  CSMLObject_get_line_color_expr(obj, buf);
  return buf;
}

struct NodeSeen {
  std::string name, alias;
  double x, y, width, height;
  std::string fill, line;
  Props props;
  bool operator==(const NodeSeen&) const = default;
};

struct EdgeSeen {
  int parent, child;
  std::string color;
  Props props;
  bool operator==(const EdgeSeen&) const = default;
};

void PrintTo(const NodeSeen& n, std::ostream* os) {
  *os << n.name << "/" << n.alias << " at " << n.x << "," << n.y << " " << n.width << "x"
      << n.height << " " << n.fill << "/" << n.line << " props " << n.props.size();
}
void PrintTo(const EdgeSeen& e, std::ostream* os) {
  *os << e.parent << "->" << e.child << " " << e.color << " props:";
  for (const auto& [k, t, v] : e.props) *os << " " << k << ":" << t << "=" << v;
}

std::vector<NodeSeen> nodes_of(const VLK_Network* net) {
  std::vector<NodeSeen> out;
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i) {
    const VLK_Node* n = VLK_Network_get_node(net, static_cast<int>(i));
    const CSMLObject* d = n->drawing;
    out.push_back({n->name, n->alias, d->x, d->y, d->width, d->height, fill_color(d), line_color(d),
                   props(d)});
  }
  return out;
}

std::vector<EdgeSeen> edges_of(const VLK_Network* net) {
  std::vector<EdgeSeen> out;
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    out.push_back({e->parent->index, e->child->index, line_color(e->drawing), props(e->drawing)});
  }
  return out;
}

Pairs pairs_of(const VLK_Network* net) {
  Pairs out;
  for (const EdgeSeen& e : edges_of(net)) out.emplace_back(e.parent, e.child);
  return out;
}

VLK_Node* add_node(VLK_Network* net, const char* name, const char* alias) {
  VLK_Node* n = VLK_Node_new(name, alias);
  VLK_Network_add_node(net, n);
  return n;
}

// a, b, c with the edges a -> b and c -> a.
NetworkPtr small_network() {
  NetworkPtr net(VLK_Network_new());
  add_node(net.get(), "a", "A");
  add_node(net.get(), "b", "B");
  add_node(net.get(), "c", "C");
  VLK_Network_add_edge_index(net.get(), 0, 1);
  VLK_Network_add_edge_index(net.get(), 2, 0);
  return net;
}

// ---- writing and reading ---------------------------------------------------------------------

// Everything the reader takes back from a fact-mode file: names (from "probeID"), aliases,
// positions, colours, sizes, typed node and edge properties, the relation type and score the
// writer adds, and the primary score key. The texts hold characters XML reserves and the ones
// the parser would drop or fold.
TEST(Csml, FactModeRoundTrip) {
  NetworkPtr net(VLK_Network_new());
  VLK_Node* n0 = add_node(net.get(), "g<1>&\"x\"", "A&B \"q\" <t>");
  VLK_Node_set_position(n0, 12.5, -3.25);
  VLK_Node_set_color(n0, 10, 20, 30, 40);
  VLK_Node_set_size(n0, 24);
  VLK_Node_set_depth(n0, 3);
  CSMLObject_add_property_int(n0->drawing, "rank", 7);
  CSMLObject_add_property_double(n0->drawing, "weight", -2.25);
  CSMLObject_add_property_string(n0->drawing, "kind & <sort>", "tf \"&\" co");
  VLK_Node* n1 = add_node(net.get(), "gene\\2\ttab", "line\nbreak\r");
  VLK_Node_set_position(n1, 300, 200);
  add_node(net.get(), "g3", "G3");  // drawing defaults, no properties

  VLK_Edge* e = VLK_Network_add_edge_index(net.get(), 0, 1);
  VLK_Edge_add_property_int(e, "EdgeType", 1);
  VLK_Edge_add_property_double(e, "edgeScore", 0.75);
  VLK_Edge_add_property_string(e, "source", "chip <a>");
  VLK_Edge_set_line_width(e, 2);
  VLK_Edge_set_color(e, 200, 0, 0, 255);
  e = VLK_Network_add_edge_index(net.get(), 2, 0);
  VLK_Edge_add_property_double(e, "Freq", 0.5);
  e = VLK_Network_add_edge_index(net.get(), 1, 2);
  VLK_Edge_add_property_string(e, "relationType", "Type 9");
  VLK_Network_set_primary_score(net.get(), "Freq");

  const Written w = write(net.get());
  EXPECT_EQ(w.err, "CSML: Going to output a network in CSML format...\n");
  const Read r = read(w.text);
  EXPECT_EQ(r.err, "");
  const std::vector<NodeSeen> want_nodes = {
      {"g<1>&\"x\"",
       "A&B \"q\" <t>",
       12.5,
       -3.25,
       24,
       24,
       "10 20 30 40",
       "10 20 30 40",
       {{"rank", "int", "7"},
        {"weight", "double", "-2.250000"},
        {"kind & <sort>", "string", "tf \"&\" co"}}},
      // Without a colour of its own a node is written, and read back, in the node default.
      {"gene\\2\ttab", "line\nbreak\r", 300, 200, 10, 10, "0 0 255 255", "0 0 255 255", {}},
      {"g3", "G3", 0, 0, 10, 10, "0 0 255 255", "0 0 255 255", {}},
  };
  EXPECT_EQ(nodes_of(r.net.get()), want_nodes);
  // The relation type and the score (the primary key's value) come first unless the edge has
  // properties of those names; the score then is its own.
  const std::vector<EdgeSeen> want_edges = {
      {0,
       1,
       "200 0 0 255",
       {{"relationType", "string", "Type 1"},
        {"EdgeType", "int", "1"},
        {"edgeScore", "double", "0.750000"},
        {"source", "string", "chip <a>"}}},
      {2,
       0,
       "0 0 0 255",
       {{"relationType", "string", "Type 0"},
        {"edgeScore", "double", "0.500000"},
        {"Freq", "double", "0.500000"}}},
      {1,
       2,
       "0 0 0 255",
       {{"edgeScore", "double", "0.000000"}, {"relationType", "string", "Type 9"}}},
  };
  EXPECT_EQ(edges_of(r.net.get()), want_edges);
  ASSERT_NE(VLK_Network_get_primary_score(r.net.get()), nullptr);
  EXPECT_STREQ(VLK_Network_get_primary_score(r.net.get()), "edgeScore");
  // Written and read again, nothing changes: the relation type and the score are the edges'
  // own now.
  const Read again = read(write(r.net.get()).text);
  EXPECT_EQ(nodes_of(again.net.get()), want_nodes);
  EXPECT_EQ(edges_of(again.net.get()), want_edges);
}

TEST(Csml, DefaultLayoutAndExtraObjects) {
  const NetworkPtr net = small_network();
  const Written w = write(net.get());
  const Document d = elements(w.text);
  EXPECT_EQ(ids(d, "csml:entity"), (std::vector<std::string>{"e1", "e2", "e3"}));
  EXPECT_EQ(ids(d, "csml:fact"), (std::vector<std::string>{"f1", "f2"}));
  // An empty process set, then the fact set.
  EXPECT_NE(w.text.find("<csml:processSet/>\n<csml:factSet>\n"), std::string::npos);
  EXPECT_TRUE(named(d, "csml:process").empty());
  const std::vector<const Element*> from = named(d, "csml:participant");
  ASSERT_EQ(from.size(), 4u);
  EXPECT_EQ(from[2]->attr("refID"), "e3");
  EXPECT_EQ(from[3]->attr("refID"), "e1");
  // Every edge without "EdgeType": one warning, for the first.
  EXPECT_EQ(w.err,
            "CSML: Going to output a network in CSML format...\n"
            "CSML: Warning: \"EdgeType\" not found.\n");

  // More edges than nodes, and two text areas: the text areas follow the edge facts.
  VLK_Network_add_edge_index(net.get(), 1, 2);
  for (const char* text : {"first note", "second"}) {
    CSMLObject* obj = CSMLObject_new();
    CSMLObject_add_property_string(obj, "text", text);
    VLK_Network_add_CSMLObject(net.get(), obj);
  }
  const Written more = write(net.get());
  const Document m = elements(more.text);
  EXPECT_EQ(ids(m, "csml:fact"), (std::vector<std::string>{"f1", "f2", "f3", "f4", "f5"}));
  EXPECT_EQ(named(m, "csml:fact")[3]->attr("type"), "cso30:c:FactViewElement");
  EXPECT_EQ(named(m, "fig:textArea").size(), 2u);
  const Read r = read(more.text);
  EXPECT_EQ(pairs_of(r.net.get()), (Pairs{{0, 1}, {2, 0}, {1, 2}}));
  EXPECT_EQ(VLK_Network_num_CSMLObjects(r.net.get()), 0u);
}

TEST(Csml, ProcessModeStructure) {
  const NetworkPtr net = small_network();
  VLK_Edge_add_property_int(VLK_Network_get_edge(net.get(), 1), "EdgeType", 2);
  const Written w = write(net.get(), "edge=process");
  // No warning for a missing "EdgeType" in this mode.
  EXPECT_EQ(w.err, "CSML: Going to output a network in CSML format...\n");
  const Document d = elements(w.text);
  std::vector<std::tuple<std::string, std::string, std::string>> processes, connectors;
  for (const Element* e : named(d, "csml:process"))
    processes.emplace_back(e->attr("id"), e->attr("name"), e->attr("type"));
  for (const Element* e : named(d, "csml:connector"))
    connectors.emplace_back(e->attr("id"), e->attr("refID"), e->attr("type"));
  EXPECT_EQ(processes, (decltype(processes){{"p1", "p1", "cso30:c:-"}, {"p2", "p2", "cso30:c:-"}}));
  EXPECT_EQ(connectors, (decltype(connectors){{"c1", "e1", "cso30:c:InputProcess"},
                                              {"c2", "e2", "cso30:c:OutputProcess"},
                                              {"c3", "e3", "cso30:c:InputProcess"},
                                              {"c4", "e1", "cso30:c:OutputProcess"}}));
  EXPECT_TRUE(named(d, "csml:fact").empty());
  // The relation type and the untyped score sit in each process.
  std::vector<std::string> properties;
  for (const Element* e : named(d, "csml:property"))
    if (e->attr("key") != "probeID")
      properties.push_back(e->attr("key") + "=" + e->attr("value") + ":" + e->attr("type"));
  EXPECT_EQ(properties,
            (std::vector<std::string>{"relationType=Type 0:<none>", "edgeScore=0.000000:<none>",
                                      "relationType=Type 2:<none>", "edgeScore=0.000000:<none>",
                                      "EdgeType=2:Integer"}));
  // The reader takes the edges back, but not their properties.
  const Read r = read(w.text);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(pairs_of(r.net.get()), (Pairs{{0, 1}, {2, 0}}));
  for (const EdgeSeen& e : edges_of(r.net.get())) EXPECT_TRUE(e.props.empty());
}

// The arrow of each relation type (from "EdgeType") at line widths 1 and 2.
TEST(Csml, ArrowsByRelationTypeAndWidth) {
  NetworkPtr net(VLK_Network_new());
  for (const char* name : {"a", "b", "c", "d", "e", "f", "g"}) add_node(net.get(), name, name);
  struct Arrow {
    int type;  // -1: no "EdgeType"
    double width;
    std::string element, size;
  };
  const Arrow arrows[] = {
      {-1, 1, "fig:processConnectorArrow", "8.000000 6.000000"},
      {0, 2, "fig:processConnectorArrow", "12.000000 10.000000"},
      {1, 1, "fig:inhibitoryConnectorArrow", "4.000000 14.000000"},
      {1, 2, "fig:inhibitoryConnectorArrow", "8.000000 18.000000"},
      {2, 1, "fig:ellipseArrow", "8.000000 6.000000"},
      {2, 2, "fig:ellipseArrow", "12.000000 10.000000"},
  };
  for (int k = 0; k < 6; ++k) {
    VLK_Edge* e = VLK_Network_add_edge_index(net.get(), k, k + 1);
    if (arrows[k].type >= 0) VLK_Edge_add_property_int(e, "EdgeType", arrows[k].type);
    VLK_Edge_set_line_width(e, arrows[k].width);
    VLK_Edge_set_color(e, 1, 2, 3, 4);
  }
  const Document d = elements(write(net.get()).text);
  std::vector<const Element*> seen;
  for (const Element& e : d.elements)
    if (e.name.ends_with("Arrow") && e.name != "fig:targetArrow") seen.push_back(&e);
  ASSERT_EQ(seen.size(), 6u);
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(seen[k]->name, arrows[k].element);
    EXPECT_EQ(seen[k]->attr("size"), arrows[k].size);
    EXPECT_EQ(seen[k]->attr("fillColor"), "1 2 3 4");
    EXPECT_EQ(seen[k]->attr("outlineColor"), "1 2 3 4");
  }
  const std::vector<const Element*> lines = named(d, "fig:edge");
  EXPECT_EQ(lines[3]->attr("lineWidth"), "2.000000");
}

TEST(Csml, PlaceHolders) {
  struct Case {
    std::vector<std::pair<double, double>> positions;
    std::string x, y;  // of "fpf2"
  };
  const Case cases[] = {
      {{{300, 200}, {10, 50}, {-4, 199.5}}, "420.000000", "260.000000"},
      {{}, "119.000000", "59.000000"},
      {{{-500, -300}}, "119.000000", "59.000000"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.x);
    NetworkPtr net(VLK_Network_new());
    for (const auto& [x, y] : k.positions)
      VLK_Node_set_position(add_node(net.get(), "n", "N"), x, y);
    const Written w = write(net.get(), "place_holder=on");
    const Document d = elements(w.text);
    ASSERT_EQ(ids(d, "csml:fact"), (std::vector<std::string>{"fpf1", "fpf2"}));
    std::vector<std::pair<std::string, std::string>> at;
    for (const Element* e : named(d, "csml:position"))
      if (e->attr("position") == "rotation:0.0") at.emplace_back(e->attr("x"), e->attr("y"));
    EXPECT_EQ(at, (std::vector<std::pair<std::string, std::string>>{{"0", "0"}, {k.x, k.y}}));
    // Place holders read as nothing.
    const Read r = read(w.text);
    EXPECT_EQ(VLK_Network_num_nodes(r.net.get()), k.positions.size());
    EXPECT_EQ(VLK_Network_num_edges(r.net.get()), 0u);
  }
  EXPECT_TRUE(ids(elements(write(small_network().get()).text), "csml:fact") ==
              (std::vector<std::string>{"f1", "f2"}));
}

TEST(Csml, WriterOptions) {
  NetworkPtr net(VLK_Network_new());
  VLK_Node* a = add_node(net.get(), "a", "alpha");
  CSMLObject_add_property_string(a->drawing, "sym", "SYM-A");
  VLK_Node* b = add_node(net.get(), "b", "beta");
  CSMLObject_add_property_int(b->drawing, "sym", 3);  // not a string: the name is written
  add_node(net.get(), "c", "gamma");
  // Alias table: the last line whose field 1 matches gives field 2.
  vlk_test::TempFile table("x\talpha\tALPHA1\ny\talpha\tALPHA2\nz\tbeta\tBETA\n");

  struct Case {
    std::string options;
    std::vector<std::string> names, probes, labels;
    std::string err;
  };
  const std::string going = "CSML: Going to output a network in CSML format...\n";
  const std::string reading = "Reading the alias conversion table file: " + table.path() + "\n";
  const Case cases[] = {
      {"", {"alpha", "beta", "gamma"}, {"a", "b", "c"}, {}, going},
      {"probe=sym,show_name=off",
       {"alpha", "beta", "gamma"},
       {"SYM-A", "b", "c"},
       {"name", "name", "name"},
       going},
      {"show_property=off,show_name=off",
       {"alpha", "beta", "gamma"},
       {"a", "b", "c"},
       {"name", "biologicalProperty", "name", "biologicalProperty", "name", "biologicalProperty"},
       going},
      {"alias=" + table.path() + ",alias_keycol=1,alias_newcol=2",
       {"ALPHA2", "BETA", "gamma"},
       {"a", "b", "c"},
       {},
       going + reading},
      {"alias=/nonexistent/aliases.txt",
       {"alpha", "beta", "gamma"},
       {"a", "b", "c"},
       {},
       going + "Reading the alias conversion table file: /nonexistent/aliases.txt\n"
               "WARNING: failed to read: /nonexistent/aliases.txt\n"},
      // A rejected entry warns; the entries before it are taken.
      {"show_name=off,colour=red",
       {"alpha", "beta", "gamma"},
       {"a", "b", "c"},
       {"name", "name", "name"},
       "WARNING: VLK_CSML: illegal  arguments failure: colour\n" + going},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.options);
    const Written w = write(net.get(), k.options.c_str());
    EXPECT_EQ(w.err, k.err);
    const Document d = elements(w.text);
    std::vector<std::string> names, probes, labels;
    for (const Element* e : named(d, "csml:entity")) names.push_back(e->attr("name"));
    for (const Element* e : named(d, "csml:property"))
      if (e->attr("key") == "probeID") probes.push_back(e->attr("value"));
    for (const Element* e : named(d, "fig:text")) {
      labels.push_back(e->attr("name"));
      EXPECT_EQ(e->attr("visible"), "false");
    }
    EXPECT_EQ(names, k.names);
    EXPECT_EQ(probes, k.probes);
    EXPECT_EQ(labels, k.labels);
  }
}

TEST(Csml, UnknownEdgeModeEndsTheProcess) {
  const NetworkPtr net = small_network();
  EXPECT_FATAL_EXIT(project_of(net.get(), "edge=curve"),
                    "CSML: Going to output a network in CSML format...\n"
                    "ERROR: CSML: Unknown edge mode: curve\n");
}

TEST(Csml, PropertiesByType) {
  vlk::CSMLObjectPtr obj(CSMLObject_new());
  CSMLObject_add_property_int(obj.get(), "n", -4);
  CSMLObject_add_property_double(obj.get(), "x", 0.125);
  CSMLObject_add_property_string(obj.get(), "s", "a\"b");
  CSMLObject_add_property(
      obj.get(), "v", VLK_Object_new_value(VLK_DoubleArray_new_str("1:2.5"), VLK_TYPE_DOUBLEARRAY));
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_CSML_put_properties(fp, obj.get()); }),
            "<csml:property key=\"n\" value=\"-4\" type=\"Integer\"/>\n"
            "<csml:property key=\"x\" value=\"0.125000\" type=\"Real\"/>\n"
            "<csml:property key=\"s\" value=\"a&quot;b\" type=\"String\"/>\n"
            "<csml:property key=\"v\" value=\"1.000000:2.500000\"/>\n");
  CSMLObject_add_property(obj.get(), "u", VLK_Object_new_value(vlk::heap_value(7u), VLK_TYPE_UINT));
  EXPECT_FATAL_EXIT(vlk_test::capture([&](FILE* fp) { VLK_CSML_put_properties(fp, obj.get()); }),
                    "FATAL ERROR: VLK_CSML_put_properties(): Unknown CSML type: uint.\n");
}

TEST(Csml, AliasConversion) {
  const std::string text = "a\tx\nq\na\ty\nb\nb\tz\nc\t\n";
  FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete> table(VLK_StrMatrix_read_fp(fp));
  std::fclose(fp);
  struct Case {
    const char* text;
    int keycol, newcol;
    std::string want;
  };
  const Case cases[] = {
      {"a", 0, 1, "y"},   // the last match wins; the one-field line "q" matches nothing
      {"b", 0, 1, "b"},   // the scan stops at a match without the new column
      {"c", 0, 1, ""},    // an empty field is a value
      {"d", 0, 1, "d"},   // no match
      {"x", 1, 0, "a"},   // lines shorter than the key column are passed over
      {"x", 5, 0, "x"},   // a key column no line has
      {"a", -1, 1, "a"},  // negative columns match nothing
      {"a", 0, -1, "a"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.text) + " " + std::to_string(k.keycol) + "," +
                 std::to_string(k.newcol));
    EXPECT_EQ(VLK_CSML_str_conv(k.text, table.get(), k.keycol, k.newcol), k.want);
  }
  EXPECT_EQ(VLK_CSML_str_conv("a", nullptr, 0, 1), "a");
}

// ---- the reader's rules ----------------------------------------------------------------------

std::string project(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<csml:project><csml:model>" + body +
         "</csml:model></csml:project>\n";
}

std::string entity(const std::string& id, const std::string& inside = "") {
  return "<csml:entity id=\"" + id + "\">" + inside + "</csml:entity>";
}

std::string fact(const std::string& from, const std::string& to, const std::string& inside = "") {
  return "<csml:fact id=\"f\" type=\"cso30:f:DirectedRelation\"><csml:participant refID=\"" + from +
         "\" type=\"from\"/><csml:participant refID=\"" + to + "\" type=\"to\"/>" + inside +
         "</csml:fact>";
}

// The entity "b" holding a process a -> a.
const std::string kSelfLoopInEntity =
    "<csml:entity id=\"b\"><csml:process><csml:connector refID=\"a\"/>"
    "<csml:connector refID=\"a\"/></csml:process></csml:entity>";

TEST(Csml, ReaderRules) {
  const std::string ab = entity("a") + entity("b");
  struct Case {
    const char* name;
    std::string doc;
    std::vector<NodeSeen> nodes;  // empty: not compared
    Pairs edges;
    std::string err;
  };
  const Case cases[] = {
      {"an entity without a name: the alias is its id; probeID renames; other properties are "
       "typed by their type in any case",
       project("<csml:entity id=\"e1\"><csml:position x=\"1.5\" y=\"-2\"/>"
               "<fig:geneEntity fillColor=\" 10  20\" size=\"12.9 30\"/>"
               "<csml:property key=\"probeID\" value=\"gene&amp;1\"/>"
               "<csml:property key=\"n\" value=\"5\" type=\"INTEGER\"/>"
               "<csml:property key=\"x\" value=\"2.5\" type=\"Real\"/>"
               "<csml:property key=\"s\" value=\"&lt;&#92;&#x41;&#233;&bogus;\"/>"
               "<csml:property value=\"no key\"/></csml:entity>"
               "<csml:entity id=\"e2\" name=\"Two\"><geneEntity fillColor=\"1 2 3 +4\"/>"
               "<csml:position x=\"1e2\"/><csml:property key=\"m\" value=\"-0\" "
               "type=\"integer\"/><csml:property key=\"r\" value=\"-.5e-1\" type=\"real\"/>"
               "</csml:entity>"),
       {{"gene&1",
         "e1",
         1.5,
         -2,
         12,
         12,
         "10 20 255 255",
         "10 20 255 255",
         {{"n", "int", "5"}, {"x", "double", "2.500000"}, {"s", "string", "<\\A\xc3\xa9&bogus;"}}},
        // A coordinate left out keeps its value; numbers may carry a sign and an exponent.
        {"e2",
         "Two",
         100,
         0,
         10,
         10,
         "1 2 3 4",
         "1 2 3 4",
         {{"m", "int", "0"}, {"r", "double", "-0.050000"}}}},
       {},
       ""},
      {"facts: a fact-view element adds nothing; a repeated pair gives one edge",
       project(ab +
               "<csml:fact type=\"cso30:c:FactViewElement\"><csml:participant refID=\"a\" "
               "type=\"from\"/></csml:fact>" +
               fact("a", "b") + fact("b", "a") + fact("a", "b") + "<csml:fact type=\"other\"/>"),
       {},
       {{0, 1}, {1, 0}},
       ""},
      {"a process whose output connector is followed by a comment",
       project(ab + "<csml:process><csml:connector refID=\"b\"><csml:comment/></csml:connector>"
                    "<csml:connector refID=\"a\"><csml:comments><csml:comment type=\"text\"/>"
                    "</csml:comments></csml:connector><csml:property key=\"k\" value=\"v\"/>"
                    "<csml:comments><csml:comment type=\"text\">\n\n</csml:comment></csml:comments>"
                    "</csml:process>"),
       {},
       {{1, 0}},
       ""},
      {"a refID naming no entity read before drops the edge",
       project(entity("a") + fact("a", "b") + entity("b") + fact("a", "b")),
       {},
       {{0, 1}},
       "WARNING: CSML: refID \"b\" names no entity read before.\n"
       "WARNING: CSML: an edge without both ends is dropped.\n"},
      {"an edge closed before both ends were named is dropped",
       project(ab + "<csml:fact type=\"cso30:f:DirectedRelation\"><csml:participant refID=\"a\" "
                    "type=\"from\"/></csml:fact><csml:process><csml:connector refID=\"a\"/>"
                    "</csml:process>"),
       {},
       {},
       "WARNING: CSML: an edge without both ends is dropped.\n"},
      {"a process started inside an entity drops the entity",
       project(entity("a") + kSelfLoopInEntity + entity("d")),
       {},
       {{0, 0}},
       ""},
      {"a syntax error keeps what was read before it",
       project(ab + fact("a", "b") + "<csml:entity id=\"c\"><bad1/></csml:entity>"),
       {},
       {{0, 1}},
       "WARNING: CSML: the document is not well formed; what was read before the error is "
       "kept.\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const Read r = read(k.doc);
    ASSERT_NE(r.net, nullptr);
    if (!k.nodes.empty()) {
      EXPECT_EQ(nodes_of(r.net.get()), k.nodes);
    }
    EXPECT_EQ(pairs_of(r.net.get()), k.edges);
    EXPECT_EQ(r.err, k.err);
  }
  // The entity in progress when a process started is gone; the ones around it stay.
  const Read r = read(project(entity("a") + kSelfLoopInEntity + entity("d")));
  std::vector<std::string> names;
  for (const NodeSeen& n : nodes_of(r.net.get())) names.push_back(n.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "d"}));
}

TEST(Csml, ReaderRefusals) {
  EXPECT_FATAL_EXIT(
      network_of(project(entity("a", "<csml:property key=\"k\" value=\"1\" type=\"Boolean\"/>"))),
      "FATAL ERROR: VLK_CSML_get_CSML_type(): Unknown type: Boolean\n");
  EXPECT_FATAL_EXIT(network_of(project(entity("a") + entity("b") +
                                       fact("a", "b", "<csml:property key=\"k\" type=\"\"/>"))),
                    "FATAL ERROR: VLK_CSML_get_CSML_type(): Unknown type: \n");
  EXPECT_FATAL_EXIT(VLK_CSML_read_file("/nonexistent/net.csml", nullptr),
                    "ERROR: Cannot open file: /nonexistent/net.csml\n");
  // A node without a name, which no text format could write; a probeID gives an entity one.
  const std::string named = "<csml:property key=\"probeID\" value=\"g\"/>";
  EXPECT_EQ(VLK_Network_num_nodes(network_of(project("<csml:entity>" + named +
                                                     "</csml:entity>\n<csml:entity id=\"\">" +
                                                     named + "</csml:entity>"))
                                      .get()),
            2u);
  EXPECT_FATAL_EXIT(network_of(project(entity("a") + "\n<csml:entity name=\"A\">\n</csml:entity>")),
                    "ERROR: CSML: line 4: an entity without a name (its id is missing or empty, "
                    "and no probeID property names it)\n");
  EXPECT_FATAL_EXIT(network_of(project(entity("a") + "\n<csml:entity id=\"\"/>")),
                    "ERROR: CSML: line 3: an entity without a name (its id is missing or empty, "
                    "and no probeID property names it)\n");
  EXPECT_FATAL_EXIT(network_of(project("<csml:entity id=\"a\">\n" +
                                       std::string("<csml:property key=\"probeID\" value=\"\"/>") +
                                       "</csml:entity>")),
                    "ERROR: CSML: line 3: an entity without a name (its id is missing or empty, "
                    "and no probeID property names it)\n");
  // A NUL byte would cut the name short; the parser stops there, and the reader with it.
  using namespace std::string_literals;
  EXPECT_FATAL_EXIT(network_of(project(entity("a") + "\n<csml:entity id=\"b\0c\"/>"s)),
                    "ERROR: CSML: line 3: a NUL byte, which no XML document holds\n");
}

// Every number the reader takes is wholly a number of its kind, or the reading ends with the
// line, the element, the attribute and its text.
TEST(Csml, ReaderRefusesNumbersThatAreNot) {
  const std::string before = entity("a") + entity("b") + "\n";
  struct Case {
    const char* what;
    std::string body;  // after the entities a and b and a line end: on line 3
    std::string err;
  };
  const std::string at = "ERROR: CSML: line 3: ";
  const auto in_entity = [](const std::string& inside) { return entity("c", inside); };
  const Case cases[] = {
      {"a coordinate with text after it", in_entity("<csml:position x=\"12px\" y=\"1\"/>"),
       at + "csml:position x=\"12px\": \"12px\" is not a number\n"},
      {"a word", in_entity("<csml:position x=\"1\" y=\"abc\"/>"),
       at + "csml:position y=\"abc\": \"abc\" is not a number\n"},
      {"an empty coordinate", in_entity("<csml:position x=\"\"/>"),
       at + "csml:position x=\"\": \"\" is not a number\n"},
      {"blanks around a coordinate", in_entity("<csml:position x=\" 1\"/>"),
       at + "csml:position x=\" 1\": \" 1\" is not a number\n"},
      {"an infinite coordinate", in_entity("<csml:position x=\"-inf\"/>"),
       at + "csml:position x=\"-inf\": \"-inf\" is not a finite number\n"},
      {"a coordinate too large for a double", in_entity("<csml:position x=\"1e999\"/>"),
       at + "csml:position x=\"1e999\": \"1e999\" is too large for a double\n"},
      {"a colour component that is no integer",
       in_entity("<fig:geneEntity fillColor=\"1 2.5 3 4\"/>"),
       at + "fig:geneEntity fillColor=\"1 2.5 3 4\": \"2.5\" is not an integer\n"},
      {"a colour component above 255", in_entity("<geneEntity fillColor=\"300\"/>"),
       at + "geneEntity fillColor=\"300\": \"300\" is out of the range of a colour component "
            "(0 to 255)\n"},
      {"a negative colour component", in_entity("<geneEntity fillColor=\"0 -1\"/>"),
       at + "geneEntity fillColor=\"0 -1\": \"-1\" is out of the range of a colour component "
            "(0 to 255)\n"},
      {"a colour component beyond an int", in_entity("<geneEntity fillColor=\"4294967296\"/>"),
       at + "geneEntity fillColor=\"4294967296\": \"4294967296\" is out of the range of an int "
            "(-2147483648 to 2147483647)\n"},
      {"five colour components", in_entity("<geneEntity fillColor=\"1 2 3 4 5\"/>"),
       at + "geneEntity fillColor=\"1 2 3 4 5\": more than four numbers (red, green, blue and "
            "alpha)\n"},
      {"an edge colour in hexadecimal", fact("a", "b", "<fig:edge lineColor=\"0x10 0 0 255\"/>"),
       at + "fig:edge lineColor=\"0x10 0 0 255\": \"0x10\" is not an integer\n"},
      {"an empty size", in_entity("<fig:geneEntity size=\"\"/>"),
       at + "fig:geneEntity size=\"\": no number\n"},
      {"a size that is no number", in_entity("<fig:geneEntity size=\"big\"/>"),
       at + "fig:geneEntity size=\"big\": \"big\" is not a number\n"},
      {"a height that is no number", in_entity("<fig:geneEntity size=\"10 nan\"/>"),
       at + "fig:geneEntity size=\"10 nan\": \"nan\" is not a finite number\n"},
      {"three sizes", in_entity("<fig:geneEntity size=\"1 2 3\"/>"),
       at + "fig:geneEntity size=\"1 2 3\": more than two numbers (width and height)\n"},
      {"an Integer property that is a real",
       in_entity("<csml:property key=\"n\" value=\"1.5\" type=\"Integer\"/>"),
       at + "csml:property key=\"n\" value=\"1.5\": \"1.5\" is not an integer\n"},
      {"an Integer property beyond an int",
       in_entity("<csml:property key=\"n\" value=\"99999999999\" type=\"integer\"/>"),
       at + "csml:property key=\"n\" value=\"99999999999\": \"99999999999\" is out of the "
            "range of an int (-2147483648 to 2147483647)\n"},
      {"an Integer property without a value",
       in_entity("<csml:property key=\"n\" type=\"Integer\"/>"),
       at + "csml:property key=\"n\": a property of type Integer without a value\n"},
      {"a Real edge property that is a word",
       fact("a", "b", "<csml:property key=\"s\" value=\"x\" type=\"real\"/>"),
       at + "csml:property key=\"s\" value=\"x\": \"x\" is not a number\n"},
      {"a Real edge property that is not finite, its key escaped",
       fact("a", "b", "<csml:property key=\"s&#9;\" value=\"NaN\" type=\"Real\"/>"),
       at + "csml:property key=\"s\\t\" value=\"NaN\": \"NaN\" is not a finite number\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_FATAL_EXIT(network_of(project(before + k.body)), k.err);
  }
  // Strings are any text; a colour may give fewer than four components, blanks around them.
  const Read r =
      read(project(before + in_entity("<geneEntity fillColor=\"\t7 \"/><csml:property key=\"s\" "
                                      "value=\"1e999\"/><csml:property key=\"t\" value=\"nan\" "
                                      "type=\"String\"/>")));
  ASSERT_EQ(VLK_Network_num_nodes(r.net.get()), 3u);
  const std::vector<NodeSeen> seen = nodes_of(r.net.get());
  EXPECT_EQ(seen[2].fill, "7 0 255 255");
  EXPECT_EQ(seen[2].props, (Props{{"s", "string", "1e999"}, {"t", "string", "nan"}}));
}

// The writer refuses, before writing anything, the numbers the reader would refuse; in process
// mode the edges' colours and properties are not read back, so they may be anything.
TEST(Csml, WriterRefusesNumbersTheReaderRefuses) {
  const std::string cannot = "ERROR: CSML: cannot write ";
  const std::string back = ", and would not read back\n";
  struct Case {
    const char* what;
    std::function<void(VLK_Network*)> spoil;
    std::string fact, process;  // the refusal in each mode, empty: written
  };
  const auto node = [](VLK_Network* net) { return VLK_Network_get_node(net, 2)->drawing; };
  const auto edge = [](VLK_Network* net) { return VLK_Network_get_edge(net, 1)->drawing; };
  const std::string node2 = cannot + "node 2 (counted from 0): its ";
  const std::string edge1 = cannot + "edge 1 (counted from 0): its ";
  const Case cases[] = {
      {"a position that is not a number", [&](VLK_Network* net) { node(net)->y = NAN; },
       node2 + "position is not finite" + back, node2 + "position is not finite" + back},
      {"an infinite size",
       [&](VLK_Network* net) { VLK_Node_set_size(VLK_Network_get_node(net, 2), HUGE_VAL); },
       node2 + "size is not finite" + back, node2 + "size is not finite" + back},
      {"a fill colour above 255",
       [&](VLK_Network* net) {
         CSMLObject_set_fill_color_RGB(node(net), 1, 2, 3, 4);
         node(net)->fill_color->b = 256;
       },
       node2 + "fill colour has a component outside 0 to 255" + back,
       node2 + "fill colour has a component outside 0 to 255" + back},
      {"a node property that is not finite",
       [&](VLK_Network* net) { CSMLObject_add_property_double(node(net), "w\t", -HUGE_VAL); },
       node2 + "property \"w\\t\" is not a finite number" + back,
       node2 + "property \"w\\t\" is not a finite number" + back},
      {"an edge property that is not finite",
       [&](VLK_Network* net) { CSMLObject_add_property_double(edge(net), "Freq", NAN); },
       edge1 + "property \"Freq\" is not a finite number" + back, ""},
      {"an edge colour below 0",
       [&](VLK_Network* net) {
         CSMLObject_set_line_color_RGB(edge(net), 1, 2, 3, 4);
         edge(net)->line_color->a = -1;
       },
       edge1 + "line colour has a component outside 0 to 255" + back, ""},
      {"finite numbers and a double array",
       [&](VLK_Network* net) {
         CSMLObject_add_property(
             node(net), "v",
             VLK_Object_new_value(VLK_DoubleArray_new_str("1:2"), VLK_TYPE_DOUBLEARRAY));
         CSMLObject_add_property_double(edge(net), "Freq", 1e300);
       },
       "", ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const NetworkPtr net = small_network();
    k.spoil(net.get());
    for (const char* mode : {"edge=fact", "edge=process"}) {
      SCOPED_TRACE(mode);
      const std::string& want = std::string(mode) == "edge=fact" ? k.fact : k.process;
      vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> list(VLK_KeyValues_parse(mode));
      EXPECT_EQ(vlk::io::csml_write_problem(net.get(), list.get()), want);
      if (want.empty()) {
        const Read r = read(write(net.get(), mode).text);
        EXPECT_EQ(VLK_Network_num_nodes(r.net.get()), 3u);
        continue;
      }
      // The refusal goes to standard error, apart from the network's stream.
      vlk_test::TempFile out("");
      FILE* fp = std::fopen(out.path().c_str(), "w");
      const net_test::Stop stop =
          net_test::stop_of([&] { VLK_CSML_write_fp(fp, net.get(), list.get()); });
      std::fclose(fp);
      EXPECT_TRUE(stop.end.exit1()) << "status " << stop.end.status;
      EXPECT_TRUE(stop.stderr_text.ends_with(want)) << stop.stderr_text;
      EXPECT_EQ(vlk_test::read_file(out.path()), "");
    }
  }
}

TEST(Csml, RegistryRowAndPathReader) {
  EXPECT_EQ(IO_get_reader("csml"), VLK_CSML_read_fp);
  EXPECT_EQ(IO_get_file_reader("Csml"), VLK_CSML_read_file);
  EXPECT_EQ(IO_get_writer("CSML"), VLK_CSML_write_fp);
  EXPECT_EQ(IO_get_file_writer("CSML"), nullptr);
  EXPECT_EQ(IO_check("csml", 0), 1);
  const NetworkPtr net = small_network();
  vlk_test::TempFile file(write(net.get()).text);
  vlk_test::CaptureErr err;
  const NetworkPtr back(IO_read_file(file.path().c_str(), "csml", nullptr));
  EXPECT_EQ(pairs_of(back.get()), (Pairs{{0, 1}, {2, 0}}));
  const NetworkPtr again(VLK_CSML_read_file(file.path().c_str(), nullptr));
  EXPECT_EQ(VLK_Network_num_nodes(again.get()), 3u);
}

// The writer's output is well-formed XML (namespaces included) to libxml2's xmllint, in every
// mode and with names full of markup characters.
TEST(Csml, WellFormedToAnIndependentParser) {
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "xmllint is not installed";
  NetworkPtr net(VLK_Network_new());
  VLK_Node* a = add_node(net.get(), "a<&>\"'\\", "\t\n-alias");
  CSMLObject_add_property_string(a->drawing, "k<\">", "v&<\r");
  add_node(net.get(), "b", "B");
  VLK_Edge* e = VLK_Network_add_edge_index(net.get(), 0, 1);
  VLK_Edge_add_property_string(e, "note", "x < y & \"z\"");
  VLK_Edge_add_property_int(e, "EdgeType", 1);
  VLK_Network_add_edge_index(net.get(), 1, 0);
  CSMLObject* text = CSMLObject_new();
  CSMLObject_add_property_string(text, "text", "a note");
  VLK_Network_add_CSMLObject(net.get(), text);
  for (const char* options : {"", "edge=process", "show_name=off,show_property=off,place_holder=on",
                              "edge=process,place_holder=on,show_name=off"}) {
    SCOPED_TRACE(options);
    vlk_test::TempFile file(write(net.get(), options).text, ".xml");
    vlk_test::TempFile report("");
    const std::string command = "xmllint --noout " + file.path() + " >" + report.path() + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(vlk_test::read_file(report.path()), "");
  }
}

}  // namespace
