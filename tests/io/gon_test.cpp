// The GON writer: the document read back with a small strict XML reader (ids, connectors,
// relation types, scores, comments), names and texts that would break the markup, the alias
// table and its conversion, and the warnings that let writing go on.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "CSMLObject.h"
#include "VLK_GON.h"
#include "VLK_IO.h"
#include "VLK_StrMatrix.h"
#include "vlk_owned.h"
#include "vlk_test.h"
#include "writer_testing.h"

namespace {

using vlk::NetworkPtr;
using writer_test::KeyValuesPtr;
using writer_test::network;

// ---- a strict reader of the XML the writer produces ------------------------------------------

struct Element {
  std::string name;
  std::map<std::string, std::string> attrs;
  std::vector<Element> children;
  std::string text;  // character data and CDATA, concatenated
  const Element* child(std::string_view n) const {
    for (const Element& c : children)
      if (c.name == n) return &c;
    return nullptr;
  }
  std::vector<const Element*> all(std::string_view n) const {
    std::vector<const Element*> out;
    for (const Element& c : children)
      if (c.name == n) out.push_back(&c);
    return out;
  }
};

// Throws std::string on anything that is not well-formed: unbalanced tags, unquoted or
// repeated attributes, a raw '<' or an unknown entity in text or attribute values.
class XmlReader {
 public:
  explicit XmlReader(std::string_view s) : s_(s) {}
  Element document() {
    skip_space();
    if (s_.substr(at_, 5) == "<?xml") at_ = s_.find("?>", at_) + 2;
    skip_space();
    Element root = element();
    skip_space();
    if (at_ != s_.size()) fail("content after the root element");
    return root;
  }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw why + " at offset " + std::to_string(at_);
  }
  void skip_space() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  void expect(std::string_view t) {
    if (s_.substr(at_, t.size()) != t) fail("expected " + std::string(t));
    at_ += t.size();
  }
  std::string name() {
    const size_t from = at_;
    while (at_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[at_])) ||
                               s_[at_] == ':' || s_[at_] == '_' || s_[at_] == '-'))
      ++at_;
    if (at_ == from) fail("expected a name");
    return std::string(s_.substr(from, at_ - from));
  }
  // Character data up to `stop`, entities replaced.
  std::string chars(char stop) {
    std::string out;
    while (at_ < s_.size() && s_[at_] != stop) {
      if (s_[at_] == '<') fail("raw <");
      if (s_[at_] != '&') {
        out += s_[at_++];
        continue;
      }
      static const std::map<std::string, char> entities = {
          {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
      const size_t end = s_.find(';', at_);
      const auto it = entities.find(std::string(s_.substr(at_, end - at_ + 1)));
      if (end == std::string_view::npos || it == entities.end()) fail("unknown entity");
      out += it->second;
      at_ = end + 1;
    }
    return out;
  }
  Element element() {
    expect("<");
    Element e;
    e.name = name();
    for (;;) {
      skip_space();
      if (s_.substr(at_, 2) == "/>") {
        at_ += 2;
        return e;
      }
      if (s_.substr(at_, 1) == ">") {
        ++at_;
        break;
      }
      const std::string key = name();
      expect("=\"");
      if (!e.attrs.emplace(key, chars('"')).second) fail("attribute " + key + " twice");
      expect("\"");
    }
    for (;;) {
      if (s_.substr(at_, 9) == "<![CDATA[") {
        const size_t end = s_.find("]]>", at_ + 9);
        if (end == std::string_view::npos) fail("open CDATA");
        e.text += s_.substr(at_ + 9, end - at_ - 9);
        at_ = end + 3;
      } else if (s_.substr(at_, 2) == "</") {
        at_ += 2;
        if (name() != e.name) fail("end tag of another element than " + e.name);
        expect(">");
        return e;
      } else if (s_.substr(at_, 1) == "<") {
        e.children.push_back(element());
      } else {
        if (at_ >= s_.size()) fail("unclosed " + e.name);
        e.text += chars('<');
      }
    }
  }
  std::string_view s_;
  size_t at_ = 0;
};

struct Written {
  std::string file, err;
  Element root;
};

Written gon(const VLK_Network* net, const char* options = nullptr) {
  const KeyValuesPtr list(options != nullptr ? VLK_KeyValues_parse(options) : nullptr);
  vlk_test::CaptureErr err;
  Written w;
  w.file = vlk_test::capture([&](FILE* fp) { EXPECT_EQ(GON_write_fp(fp, net, list.get()), 0); });
  w.err = err.text();
  try {
    w.root = XmlReader(w.file).document();
  } catch (const std::string& why) {
    ADD_FAILURE() << "not well-formed: " << why << "\n" << w.file;
  }
  return w;
}

const Element& net_of(const Written& w) {
  static const Element none;
  const Element* n = w.root.child("csml:net");
  return n != nullptr ? *n : none;
}

std::vector<std::string> labels(const std::vector<const Element*>& es) {
  std::vector<std::string> out;
  for (const Element* e : es) out.push_back(e->attrs.at("label"));
  return out;
}

TEST(GonFormat, EntitiesProcessesAndConnectors) {
  // a -> b with EdgeType 2 and the primary score; c -> a with neither, and a text property.
  const NetworkPtr net = network({{"ga", "A"}, {"gb", "B"}, {"gc", "C"}}, {{0, 1}, {2, 0}});
  VLK_Node_set_position(VLK_Network_get_node(net.get(), 1), 12.5, -3);
  VLK_Edge* ab = VLK_Network_get_edge(net.get(), 0);
  VLK_Edge_add_property_double(ab, "Freq", 0.75);
  VLK_Edge_add_property_int(ab, "EdgeType", 2);
  VLK_Edge_add_property_string(VLK_Network_get_edge(net.get(), 1), "note", "weak");
  VLK_Network_set_primary_score(net.get(), "Freq");
  const Written w = gon(net.get());

  EXPECT_EQ(w.file.substr(0, w.file.find("<csml:unitdefs/>")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<csml:model\n xmlns:csml=\"http://"
            "www.csml.org/csml/version1\" majorVersion=\"1\" minorVersion=\"9\">\n");
  EXPECT_EQ(w.err, "Going to output a network in GON (CSML 1.9) format...\n");
  EXPECT_EQ(w.root.name, "csml:model");
  ASSERT_NE(w.root.child("csml:unitdefs"), nullptr);
  const Element* sim = w.root.child("csml:simulation");
  ASSERT_NE(sim, nullptr);
  EXPECT_EQ(sim->attrs.at("firingAccuracy"), "1.0E-10");

  const Element& n = net_of(w);
  const auto entities = n.all("csml:entity");
  EXPECT_EQ(labels(entities), (std::vector<std::string>{"e1", "e2", "e3"}));
  ASSERT_EQ(entities.size(), 3u);
  const Element& b = *entities[1];
  EXPECT_EQ(b.attrs.at("name"), "B");
  EXPECT_EQ(b.attrs.at("codelinkProbeID"), "gb");
  EXPECT_EQ(b.attrs.at("type"), "continuous");
  EXPECT_EQ(b.child("csml:parameter")->attrs.at("label"), "m2");
  EXPECT_EQ(b.child("csml:graphics")
                ->child("csml:figure")
                ->child("csml:geneEntity")
                ->attrs.at("location"),
            "12.500000 -3.000000");

  const auto processes = n.all("csml:process");
  EXPECT_EQ(labels(processes), (std::vector<std::string>{"p1", "p2"}));
  ASSERT_EQ(processes.size(), 2u);
  struct Expect {
    std::string relation, score, comment;
    std::vector<std::string> connectors, from, to;
  };
  const Expect expect[] = {
      {"Type 2",
       "0.750000",
       "Freq: 0.750000\nEdgeType: 2\n",
       {"c1", "c2"},
       {"e1", "p1"},
       {"p1", "e2"}},
      {"Type 0", "0.000000", "note: weak\n", {"c3", "c4"}, {"e3", "p2"}, {"p2", "e1"}},
  };
  for (size_t k = 0; k < 2; ++k) {
    SCOPED_TRACE("edge " + std::to_string(k));
    const Element& p = *processes[k];
    EXPECT_EQ(p.attrs.at("name"), p.attrs.at("label"));
    EXPECT_EQ(p.attrs.at("relationType"), expect[k].relation);
    EXPECT_EQ(p.attrs.at("edgeScore"), expect[k].score);
    EXPECT_EQ(p.child("csml:comment")->text, expect[k].comment);
    ASSERT_NE(p.child("csml:simulationCondition"), nullptr);
    ASSERT_NE(p.child("csml:biological")->child("csml:effectList"), nullptr);
    const auto connectors = p.child("csml:function")->all("csml:connector");
    EXPECT_EQ(labels(connectors), expect[k].connectors);
    ASSERT_EQ(connectors.size(), 2u);
    for (size_t c = 0; c < 2; ++c) {
      EXPECT_EQ(connectors[c]->attrs.at("from"), expect[k].from[c]);
      EXPECT_EQ(connectors[c]->attrs.at("to"), expect[k].to[c]);
      EXPECT_EQ(connectors[c]->attrs.at("type"), "process");
    }
    EXPECT_EQ(
        connectors[1]->child("csml:graphics")->child("csml:processConnector")->attrs.at("points"),
        "0.0 0.0 0.0 0.0");
  }
  EXPECT_EQ(IO_get_writer("gon"), GON_write_fp);
}

TEST(GonFormat, TextsThatWouldBreakTheMarkupReadBackAsWritten) {
  const char* name = "g\"<&>1";
  const char* alias = "<a & \"b\">";
  const NetworkPtr net = network({{name, alias}, {"plain", "P"}}, {{0, 1}});
  VLK_Edge_add_property_string(VLK_Network_get_edge(net.get(), 0), "why", "x]]>y</csml:comment>&");
  const Written w = gon(net.get());
  const auto entities = net_of(w).all("csml:entity");
  ASSERT_EQ(entities.size(), 2u);
  EXPECT_EQ(entities[0]->attrs.at("name"), alias);
  EXPECT_EQ(entities[0]->attrs.at("codelinkProbeID"), name);
  const auto processes = net_of(w).all("csml:process");
  ASSERT_EQ(processes.size(), 1u);
  EXPECT_EQ(processes[0]->child("csml:comment")->text, "why: x]]>y</csml:comment>&\n");
}

TEST(GonFormat, AliasTableAndOptionWarnings) {
  const NetworkPtr net = network({{"g1", "A"}, {"g2", "B"}}, {});
  // Field 1 holds the aliases, field 2 the names to write; the last matching line wins.
  vlk_test::TempFile table("x\tA\tfirst\nx\tA\tAlpha\nx\tB\tBeta\n");
  const std::string missing = table.path() + ".missing";
  struct Case {
    const char* what;
    std::string options;
    std::vector<std::string> names;
    std::string err;
  };
  const std::string head = "Going to output a network in GON (CSML 1.9) format...\n";
  const Case cases[] = {
      {"the table converts",
       "alias=" + table.path() + ",alias_keycol=1,alias_newcol=2",
       {"Alpha", "Beta"},
       head + "Reading the alias conversion table file: " + table.path() + "\n"},
      {"an unknown option is skipped, the rest bound",
       "bogus=1,alias=" + table.path() + ",alias_keycol=1,alias_newcol=2",
       {"Alpha", "Beta"},
       "WARNING: CSML: illegal  arguments failure: bogus\n" + head +
           "Reading the alias conversion table file: " + table.path() + "\n"},
      {"a table that cannot be read",
       "alias=" + missing,
       {"A", "B"},
       head + "Reading the alias conversion table file: " + missing +
           "\nWARNING: failed to read: " + missing + "\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const Written w = gon(net.get(), k.options.c_str());
    std::vector<std::string> names;
    for (const Element* e : net_of(w).all("csml:entity")) names.push_back(e->attrs.at("name"));
    EXPECT_EQ(names, k.names);
    EXPECT_EQ(w.err, k.err);
  }
}

TEST(GonFormat, StrConvTakesTheLastMatchAndStopsAtAShortOne) {
  vlk_test::TempFile file("a\t1\na\t2\nb\t3\nb\nb\t4\nlong\t" + std::string(300, 'z') + "\n");
  const vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete> table(
      VLK_StrMatrix_read_file(file.path().c_str()));
  ASSERT_NE(table, nullptr);
  struct Case {
    const char* text;
    int key, col;
    std::string out;
  };
  const Case cases[] = {
      {"a", 0, 1, "2"}, {"b", 0, 1, "3"},  {"c", 0, 1, "c"},  {"1", 1, 0, "a"},
      {"a", 0, 5, "a"}, {"a", -1, 1, "a"}, {"a", 0, -1, "a"}, {"long", 0, 1, std::string(300, 'z')},
  };
  for (const Case& k : cases)
    EXPECT_EQ(GON_str_conv(k.text, table.get(), k.key, k.col), k.out)
        << k.text << " " << k.key << " " << k.col;
  EXPECT_EQ(GON_str_conv("a", nullptr, 0, 1), "a");
}

}  // namespace
