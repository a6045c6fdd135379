// The TXT edge list: what the reader makes of each option and which warnings it gives, its
// refusals, the writer's columns against fixed texts, a round trip and the help text.
#include <gtest/gtest.h>

#include <string>

#include "VLK_Help.h"
#include "VLK_IO.h"
#include "VLK_TXT.h"
#include "network_testing.h"
#include "vlk_test.h"

namespace {

using net_test::KeyValuesPtr;
using net_test::read_text;
using net_test::Seen;
using net_test::Strings;

TEST(Txt, ReaderOptionsAndWarnings) {
  const std::string head = "Reading a text network file...\n";
  struct Case {
    const char* name;
    const char* options;
    std::string text;
    Seen want;
    std::string err;  // after the first line
  };
  const Case cases[] = {
      {"default: repeated edges once, self loops kept, short lines and extra fields ignored",
       nullptr,
       "a\tb\na\tb\nsingle\nb\tc\textra\nc\tc\n",
       {{"a/a", "b/b", "c/c"}, {"a>b", "b>c", "c>c"}},
       ""},
      {"w: the repeated edge is named",
       "w",
       "a\tb\na\tb\n",
       {{"a/a", "b/b"}, {"a>b"}},
       "WARNING: already exists: a  -> b\n"},
      {"selfloop=off: the loop is skipped, its node stays",
       "selfloop=off,w",
       "c\tc\na\tc\n",
       {{"c/c", "a/a"}, {"a>c"}},
       "WRNING: Self loop detected & ignored: c (c)\n"},
      {"ppi: both directions; the reversed line finds its edge present",
       "ppi,w",
       "a\tb\nb\ta\nb\tc\n",
       {{"a/a", "b/b", "c/c"}, {"a>b", "b>a", "b>c", "c>b"}},
       "  PPI specified.\nWARNING: already exists: b  -> a\n"},
      {"PPI is ppi", "PPI=on", "a\tb\n", {{"a/a", "b/b"}, {"a>b", "b>a"}}, "  PPI specified.\n"},
      {"ch: the first name is the child",
       "ch,w",
       "a\tb\na\tb\n",
       {{"a/a", "b/b"}, {"b>a"}},
       "  Children list specified.\nWARNING: already exists: a <- b\n"},
      {"empty names: a trailing or leading TAB names no node",
       "w",
       "a\t\n\tz\nb\tc\t\n",
       {{"b/b", "c/c"}, {"b>c"}},
       ""},
      {"line ends: LF, CR LF, CR and a last line without one",
       nullptr,
       "a\tb\r\nb\tc\rc\td",
       {{"a/a", "b/b", "c/c", "d/d"}, {"a>b", "b>c", "c>d"}},
       ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const net_test::Read r = read_text(TXT_read_fp, k.text, k.options);
    ASSERT_NE(r.net, nullptr) << r.err;
    EXPECT_EQ(net_test::seen(r.net.get()), k.want);
    EXPECT_EQ(r.err, head + k.err);
    EXPECT_EQ(r.stderr_text, "In total " + std::to_string(k.want.nodes.size()) + " nodes and " +
                                 std::to_string(k.want.edges.size()) + " edges added.\n");
  }
}

TEST(Txt, ReaderRefusals) {
  for (const char* options : {"direction=up", "ppi=maybe"}) {
    SCOPED_TRACE(options);
    const std::string key = std::string(options).substr(0, std::string(options).find('='));
    const net_test::Read r = read_text(TXT_read_fp, "a\tb\n", options);
    EXPECT_EQ(r.net, nullptr);
    EXPECT_EQ(r.err, "EROR: TXT_read_fp(): unknown argumnet specified: " + key + "\n");
  }
  // Through the registry a rejected option is a broken input.
  vlk_test::TempFile file("a\tb\n");
  KeyValuesPtr bad(VLK_KeyValues_parse("up"));
  EXPECT_FATAL_EXIT(IO_read_file(file.path().c_str(), "txt", bad.get()),
                    "EROR: TXT_read_fp(): unknown argumnet specified: up\n"
                    "ERROR: IO: Input file broken.\nERROR: IO: " +
                        file.path() +
                        " was refused by the TXT reader; its first line is \"a\\tb\"\n");
  // A NUL byte would cut a name short.
  const net_test::Stop s = net_test::stop_reading(TXT_read_fp, std::string("a\tb\nc\0x\td\n", 11));
  EXPECT_TRUE(s.end.exit1());
  EXPECT_EQ(s.end.err, "Reading a text network file...\nERROR: a NUL byte in line 2\n");
}

// Nodes a, b, c with aliases and an isolated d; edge a -> b with w and n, c -> b with n only.
vlk::NetworkPtr small_network() {
  vlk::NetworkPtr net(VLK_Network_new());
  for (const auto& [name, alias] : {std::pair{"a", "A1"}, {"b", "B2"}, {"c", "C3"}, {"d", "D4"}})
    VLK_Network_add_node(net.get(), VLK_Node_new(name, alias));
  VLK_Edge* e = VLK_Network_add_edge_index(net.get(), 0, 1);
  VLK_Edge_add_property_double(e, "w", 0.5);
  VLK_Edge_add_property_int(e, "n", 3);
  e = VLK_Network_add_edge_index(net.get(), 2, 1);
  VLK_Edge_add_property_int(e, "n", 4);
  return net;
}

TEST(Txt, WriterColumns) {
  const vlk::NetworkPtr net = small_network();
  struct Case {
    const char* options;
    std::string text;
  };
  const Case cases[] = {
      {nullptr, "a\tb\nc\tb\n"},
      {"header", "Parent\tChild\na\tb\nc\tb\n"},
      {"H,A", "Parent\tParent\tChild\tChild\na\tA1\tb\tB2\nc\tC3\tb\tB2\n"},
      {"prop", "a\tb\t0.500000\t3\nc\tb\t\t4\n"},
      {"header=on,alias=on,prop=on",
       "Parent\tParent\tChild\tChild\tw\tn\na\tA1\tb\tB2\t0.500000\t3\nc\tC3\tb\tB2\t\t4\n"},
      {"H,P,A=off", "Parent\tChild\tw\tn\na\tb\t0.500000\t3\nc\tb\t\t4\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.options ? k.options : "(none)");
    KeyValuesPtr options(k.options ? VLK_KeyValues_parse(k.options) : nullptr);
    net_test::CaptureStderr on_stderr;
    EXPECT_EQ(vlk_test::capture(
                  [&](FILE* fp) { EXPECT_EQ(TXT_write_fp(fp, net.get(), options.get()), 0); }),
              k.text);
    EXPECT_EQ(on_stderr.text(), "Outputting in TXT format.\n  4 nodes, 2 edges.\n");
  }
  KeyValuesPtr bad(VLK_KeyValues_parse("header,colour=red"));
  vlk_test::CaptureErr err;
  EXPECT_EQ(
      vlk_test::capture([&](FILE* fp) { EXPECT_EQ(TXT_write_fp(fp, net.get(), bad.get()), 1); }),
      "");
  EXPECT_EQ(err.text(), "EROR: TXT_write_fp(): unknown argumnet specified: colour\n");
}

// Written and read back, every node with an edge has the same parents in the same order.
TEST(Txt, RoundTrip) {
  const vlk::NetworkPtr net = net_test::random_network(7, 40, 150);
  std::string text;
  {
    net_test::CaptureStderr quiet;
    text = vlk_test::capture([&](FILE* fp) { TXT_write_fp(fp, net.get(), nullptr); });
  }
  const net_test::Read r = read_text(TXT_read_fp, text);
  ASSERT_NE(r.net, nullptr);
  EXPECT_EQ(net_test::parent_lists(r.net.get(), false), net_test::parent_lists(net.get(), true));
  EXPECT_EQ(VLK_Network_num_edges(r.net.get()), 150u);
}

TEST(Txt, HelpText) {
  const std::string first = "\"TXT\" (network input/output module):\n";
  const std::string output =
      "<\"output\" options>\nalias[=(on|off)]\nA[=(on|off)]\n"
      "        Output alias names. (default: off)\nheader[=(on|off)]\nH[=(on|off)]\n"
      "        Output the header line. (default: off)\nprop[=(on|off)]\nP[=(on|off)]\n"
      "        Output edge properties. (default: off)\n";
  const std::string input =
      "<\"input\" options>\nppi[=(on|off)]\nPPI[=(on|off)]\n"
      "        Regard the network as an undirected graph. (default: off)\n"
      "selfloop[=(on|off)]\n        Allow self loops. (default: on)\n"
      "w[=(on|off)]\n        Warn of the lines skipped. (default: off)\n"
      "ch[=(on|off)]\n        The first field of a line is the child, the second the parent.\n"
      "        (default: off)\n";
  const std::string last = "(TXT module sub categories: \"input\" \"output\")\n";
  struct Case {
    const char* sub;
    std::string text;
  };
  const Case cases[] = {
      {nullptr, first + output + "\n" + input + last},
      {"Input", first + input + last},
      {"OUTPUT", first + output + last},
      {"graph", first + "Unknown sub category specified: graph\n" + last},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sub ? k.sub : "(null)");
    EXPECT_EQ(vlk_test::capture([&](FILE* fp) { TXT_help(fp, k.sub); }), k.text);
  }
  // The help registry's row.
  EXPECT_EQ(vlk_test::capture([](FILE* fp) { VLK_Help_msg(fp, nullptr, "txt", "input"); }),
            "<TXT module [io]>:\n" + first + input + last + "\n");
}

}  // namespace
