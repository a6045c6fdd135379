// The callback XML parser: the events a document gives (names, attributes, their order), what
// never reaches a callback, and where a syntax error stops the parse.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "VLK_SAX.h"
#include "vlk_test.h"

namespace {

using namespace std::string_literals;

// Every event as one word: "<name k=v k=v>" for a start, "</name>" for an end.
void on_start(void* data, const char* name, const VLK_KeyValues* attrs) {
  std::string& trace = *static_cast<std::string*>(data);
  trace += '<';
  trace += name;
  for (size_t i = 0; i < VLK_KeyValues_size(attrs); ++i) {
    trace += ' ';
    trace += VLK_KeyValues_get_key(attrs, i);
    trace += '=';
    trace += static_cast<const char*>(VLK_KeyValues_get_value(attrs, i));
  }
  trace += '>';
}

void on_end(void* data, const char* name) {
  *static_cast<std::string*>(data) += std::string("</") + name + ">";
}

struct Parsed {
  int result;
  std::string trace;
};

Parsed parse(const std::string& doc) {
  vlk::SAXPtr sax(VLK_SAX_new());
  VLK_SAX_set_start(sax.get(), on_start);
  VLK_SAX_set_end(sax.get(), on_end);
  FILE* fp = fmemopen(const_cast<char*>(doc.data()), doc.size(), "r");
  Parsed p;
  p.result = VLK_SAX_parse(sax.get(), fp, &p.trace);
  std::fclose(fp);
  return p;
}

TEST(SAX, Documents) {
  struct Case {
    const char* name;
    std::string doc;
    int result;
    std::string trace;
  };
  const Case cases[] = {
      {"nesting and attributes in document order", "<a x=\"1\"><b y=\"2\" z=\"\"></b><c:d/></a>", 0,
       "<a x=1><b y=2 z=></b><c:d></c:d></a>"},
      {"an empty element ends under its own name", "<x/><y a=\"1\"/><z  /><w k=\"v\" />", 0,
       "<x></x><y a=1></y><z></z><w k=v></w>"},
      {"blanks around names, keys and '='", "< a  k = \"v\"\tl\n=\"w\" ></ a >", 0,
       "<a k=v l=w></a>"},
      {"declaration, doctype, instruction and comments give nothing",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE r>\n<!-- <a b=\"c\"> - -- x -->"
       "<r><?pi <b/> ?><!-- --></r>",
       0, "<r></r>"},
      {"text is not delivered and entities are not decoded",
       "<t k=\"a&amp;b &lt;\">x &lt; y<u/>tail</t>", 0, "<t k=a&amp;b &lt;><u></u></t>"},
      {"'>' and '<' inside a value", "<t k=\"a>b<c\"/>", 0, "<t k=a>b<c></t>"},
      {"a backslash takes the next character", "<v k=\"a\\\"b\\\\c\\d\"/>", 0,
       "<v k=a\"b\\cd></v>"},
      {"keys keep letters and digits only", "<f xmlns:fig=\"u\" data-x2=\"1\"/>", 0,
       "<f xmlnsfig=u datax2=1></f>"},
      {"duplicate keys stay", "<a k=\"1\" k=\"2\"/>", 0, "<a k=1 k=2></a>"},
      {"a key without value is dropped and the tag stays open", "<a k> x=\"1\"><b/>", 0,
       "<a x=1><b></b>"},
      {"a key followed by a letter starts over", "<a k j=\"1\">", 0, "<a j=1>"},
      {"end tags are not matched", "<a></b></c d>", 0, "<a></b></c>"},
      {"a digit in an end-tag name is skipped", "<a></a1>", 0, "<a></a>"},
      {"the end inside a tag fires nothing", "<a><b k=\"1\"", 0, "<a>"},
      {"the end inside a value fires nothing", "<a k=\"1", 0, ""},
      {"a digit in an element name", "<a><b1>", -1, "<a>"},
      {"'<' inside a key", "<a k<=\"1\">", -1, ""},
      {"a value without quotes", "<a k=1>", -1, ""},
      {"a single-quoted value", "<a k='1'/>", -1, ""},
      {"'/' not followed by '>'", "<a/ >", -1, ""},
      {"a name character the class does not know", "<a.b/>", -1, ""},
      // Read on, a NUL byte would cut the name or value short: refused wherever it stands.
      {"a NUL byte in a value", "<a k=\"x\0y\"/>"s, -1, ""},
      {"a NUL byte in a name", "<a><b\0c/>"s, -1, "<a>"},
      {"a NUL byte in text", "<a/>\0<b/>"s, -1, "<a></a>"},
      {"a NUL byte in a comment", "<!-- \0 --><a/>"s, -1, ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const Parsed p = parse(k.doc);
    EXPECT_EQ(p.result, k.result);
    EXPECT_EQ(p.trace, k.trace);
  }
}

// The attribute lookup finds the first of a key, exactly as written; a parser without
// callbacks just reads.
TEST(SAX, AttributeLookupAndMissingCallbacks) {
  struct Seen {
    std::string first, missing, cased;
  } seen;
  vlk::SAXPtr sax(VLK_SAX_new());
  EXPECT_EQ(sax->reserved, nullptr);
  EXPECT_EQ(sax->start, nullptr);
  EXPECT_EQ(sax->end, nullptr);
  VLK_SAX_set_start(sax.get(), [](void* data, const char*, const VLK_KeyValues* attrs) {
    Seen& s = *static_cast<Seen*>(data);
    s.first = VLK_SAX_get_attr_value(attrs, "k");
    s.missing = VLK_SAX_get_attr_value(attrs, "x") == nullptr ? "null" : "found";
    s.cased = VLK_SAX_get_attr_value(attrs, "K") == nullptr ? "null" : "found";
  });
  const std::string doc = "<a k=\"1\" k=\"2\">";
  FILE* fp = fmemopen(const_cast<char*>(doc.data()), doc.size(), "r");
  EXPECT_EQ(VLK_SAX_parse(sax.get(), fp, &seen), 0);
  std::fclose(fp);
  EXPECT_EQ(seen.first, "1");
  EXPECT_EQ(seen.missing, "null");
  EXPECT_EQ(seen.cased, "null");

  vlk::SAXPtr quiet(VLK_SAX_new());
  const std::string bad = "<a><b/><c1>";
  fp = fmemopen(const_cast<char*>(bad.data()), bad.size(), "r");
  EXPECT_EQ(VLK_SAX_parse(quiet.get(), fp, nullptr), -1);
  std::fclose(fp);
}

// The position a parse keeps: during a callback, the line of the tag's closing '>'; at the end,
// the line after the last line end; and whether a NUL byte stopped it.
TEST(SAX, PositionForMessages) {
  struct Seen {
    vlk::xml::Position* at;
    std::string lines;
  };
  vlk::SAXPtr sax(VLK_SAX_new());
  VLK_SAX_set_start(sax.get(), [](void* data, const char* name, const VLK_KeyValues*) {
    Seen& s = *static_cast<Seen*>(data);
    s.lines += std::string(name) + "@" + std::to_string(s.at->line) + " ";
  });
  const auto run = [&](const std::string& doc, Seen* seen) {
    FILE* fp = fmemopen(const_cast<char*>(doc.data()), doc.size(), "r");
    const int r = vlk::xml::parse(sax.get(), fp, seen, seen->at);
    std::fclose(fp);
    return r;
  };
  vlk::xml::Position at;
  Seen seen{&at, ""};
  EXPECT_EQ(run("<a>\n<b\n k=\"1\n2\"\n>\n\n<c/>\n", &seen), 0);
  EXPECT_EQ(seen.lines, "a@1 b@5 c@7 ");
  EXPECT_EQ(at.line, 8u);
  EXPECT_FALSE(at.nul);

  vlk::xml::Position stopped;
  Seen nul{&stopped, ""};
  EXPECT_EQ(run("<a/>\n\n<b k=\"\0\"/>"s, &nul), -1);
  EXPECT_TRUE(stopped.nul);
  EXPECT_EQ(stopped.line, 3u);
  vlk::xml::Position syntax;
  Seen bad{&syntax, ""};
  EXPECT_EQ(run("<a>\n<b1>", &bad), -1);
  EXPECT_FALSE(syntax.nul);
  EXPECT_EQ(syntax.line, 2u);
}

}  // namespace
