// The format registry: lookup by name without regard to case, the accessors and IO_check, the
// refusals with their messages and streams, standard input, and writers that report failure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "CSMLObject.h"
#include "VLK_IO.h"
#include "VLK_VLK3.h"
#include "network_testing.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk::NetworkPtr;

constexpr const char* kNetwork =
    "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tw:double\n\n[Nodes]\na\tA\t0\nb\tB\t1\n"
    "c\tC\t2\n\n[Edges]\n2\t0\t0.500000\n0\t1\t0.250000\n";

NetworkPtr small_network() {
  vlk_test::TempFile file(kNetwork);
  vlk_test::CaptureErr err;
  return NetworkPtr(IO_read_file(file.path().c_str(), "VLK3", nullptr));
}

TEST(Registry, TableAndLookups) {
  const std::vector<std::string> names = {"TXT",  "VLK",    "VLK2",     "VLK3", "CSML",
                                          "DAG",  "LIST",   "NODELIST", "GON",  "BSF",
                                          "TXTS", "PALIST", "PARAOS"};
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(IO_list[i].name, names[i]) << i;
  EXPECT_EQ(IO_list[IO_LIST_FORMATS].name, nullptr);

  const VLK_IOFormat& vlk3 = IO_list[3];
  EXPECT_EQ(vlk3.read_fp, VLK3_read_fp);
  EXPECT_EQ(vlk3.read_file, VLK3_read_file);
  EXPECT_EQ(vlk3.write_fp, VLK3_write_fp);
  EXPECT_EQ(vlk3.write_file, VLK3_write_file);
  EXPECT_EQ(vlk3.write_graph_fp, nullptr);  // VLK3_write_graph_fp exists beside the table

  // Each name finds its row whatever the case, and the accessors hand out that row's fields
  // (null for a name no row holds). The write-only formats never have a reader to check.
  struct Case {
    const char* name;
    int row;  // -1: no row
    int check;
  };
  const Case cases[] = {
      {"VLK3", 3, 1}, {"vlk3", 3, 1},  {"vLk3", 3, 1}, {"LIST", 6, 0},   {"gon", 8, 0},
      {"Vlk", 1, 0},  {"VLK4", -1, 0}, {"", -1, 0},    {nullptr, -1, 0},
  };
  const VLK_IOFormat none{};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name != nullptr ? k.name : "(null)");
    const VLK_IOFormat& row = k.row >= 0 ? IO_list[k.row] : none;
    EXPECT_EQ(IO_get_reader(k.name), row.read_fp);
    EXPECT_EQ(IO_get_file_reader(k.name), row.read_file);
    EXPECT_EQ(IO_get_writer(k.name), row.write_fp);
    EXPECT_EQ(IO_get_file_writer(k.name), row.write_file);
    EXPECT_EQ(IO_get_graph_writer(k.name), row.write_graph_fp);
    EXPECT_EQ(IO_check(k.name, 0), k.check);
    EXPECT_EQ(IO_check(k.name, 1), 0);
  }
  EXPECT_EQ(IO_get_graph_writer("VLK3"), nullptr);
}

TEST(Registry, Refusals) {
  const NetworkPtr net = small_network();
  ASSERT_NE(net, nullptr);
  vlk_test::TempFile good(kNetwork);
  vlk_test::TempFile broken("Velk VLK2 FORMAT\n");
  vlk_test::TempFile cr("Velk VLK2 FORMAT\r\n[Information]\n");
  vlk_test::TempFile empty("");
  const std::string dir = ::testing::TempDir();
  const std::string fresh = good.path() + ".new";  // no file of that name yet
  const char* g = good.path().c_str();
  const std::string head = "ERROR: IO: Input file broken.\nERROR: IO: ";
  const std::string not_vlk3 =
      head + broken.path() +
      " was refused by the VLK3 reader; its first line is \"Velk VLK2 FORMAT\"\n";
  const std::string with_cr = head + cr.path() +
                              " was refused by the VLK2 reader; its first line is \"Velk VLK2 "
                              "FORMAT\\r\"\n";
  const std::string is_empty = head + empty.path() + " is empty\n";
  const std::string is_dir = head + dir + " is a directory\n";
  struct Case {
    const char* name;
    std::function<void()> call;
    std::string err;        // on VELK_ERR
    std::string on_stderr;  // on the standard error stream
  };
  const Case cases[] = {
      {"read: unknown name", [&] { IO_read_file(g, "VLK9", nullptr); },
       "ERROR: IO: Unknown file type: VLK9\n", "ERROR: IO: Unknown file type: VLK9\n"},
      {"read: a format without a reader", [&] { IO_read_file(g, "list", nullptr); },
       "ERROR: IO: Unknown file type: list\n", "ERROR: IO: Unknown file type: list\n"},
      {"read from a stream: no reader", [&] { IO_read_fp(stdin, "Gon", nullptr); },
       "ERROR: IO: Unknown file type: Gon\n", "ERROR: IO: Unknown file type: Gon\n"},
      {"read: no such file", [&] { IO_read_file("/nonexistent/net.vlk3", "VLK3", nullptr); },
       "ERROR: IO: Cannot open file: /nonexistent/net.vlk3\n",
       "ERROR: IO: Cannot open file: /nonexistent/net.vlk3\n"},
      // The line after "broken" names the file and what it held, as far as that tells why.
      {"read: another format", [&] { IO_read_file(broken.path().c_str(), "vlk3", nullptr); },
       "Reading a VLK3 network file...\n" + not_vlk3, not_vlk3},
      {"read a graph: another format",
       [&] { IO_read_graph_file(broken.path().c_str(), "VLK3", nullptr); },
       "Reading a VLK3 network file...\n" + not_vlk3, not_vlk3},
      {"read: a first line the reader does not take as it is",
       [&] { IO_read_file(cr.path().c_str(), "VLK2", nullptr); }, with_cr, with_cr},
      {"read: an empty file", [&] { IO_read_file(empty.path().c_str(), "VLK3", nullptr); },
       "Reading a VLK3 network file...\n" + is_empty, is_empty},
      {"read: a directory", [&] { IO_read_file(dir.c_str(), "TXT", nullptr); }, is_dir, is_dir},
      {"write: a format without a writer",
       [&] { IO_output_network_fp(stdout, net.get(), "DAG", nullptr); }, "",
       "ERROR: unknown file type: DAG\n"},
      {"write a file: no writer, and no file made",
       [&] { IO_output_network_file(fresh.c_str(), net.get(), "TXTS", nullptr); }, "",
       "ERROR: unknown file type: TXTS\n"},
      {"write a file: cannot open",
       [&] { IO_output_network_file("/nonexistent/out.vlk3", net.get(), "VLK3", nullptr); }, "",
       "ERROR: cannot open file: /nonexistent/out.vlk3\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const net_test::Stop r = net_test::stop_of(k.call);
    EXPECT_TRUE(r.end.exit1()) << "status " << r.end.status << " signal " << r.end.signal;
    EXPECT_EQ(r.end.err, k.err);
    EXPECT_EQ(r.stderr_text, k.on_stderr);
  }
  EXPECT_NE(access(fresh.c_str(), F_OK), 0);
}

TEST(Registry, ReadsAndWrites) {
  vlk_test::TempFile good(kNetwork);
  vlk_test::TempFile broken("Velk VLK2 FORMAT\n");
  vlk_test::CaptureErr err;
  // The stream form hands a broken input's null back.
  FILE* fp = std::fopen(broken.path().c_str(), "r");
  EXPECT_EQ(IO_read_fp(fp, "vlk3", nullptr), nullptr);
  std::fclose(fp);

  const vlk::Owned<VLK_Graph, VLK_Graph_delete> g(
      IO_read_graph_file(good.path().c_str(), "VLK3", nullptr));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(VLK_Graph_check_edge(g.get(), 2, 0), 1);
  EXPECT_EQ(VLK_Graph_check_edge(g.get(), 0, 1), 1);
  EXPECT_EQ(VLK_Graph_num_edges(g.get()), 2u);

  // Written through the registry, the network comes out as it was read.
  const NetworkPtr net = small_network();
  EXPECT_EQ(vlk_test::capture([&](FILE* out) {
              EXPECT_EQ(IO_output_network_fp(out, net.get(), "Vlk3", nullptr), 0);
            }),
            kNetwork);
  vlk_test::TempFile out("");
  EXPECT_EQ(IO_output_network_file(out.path().c_str(), net.get(), "VLK3", nullptr), 0);
  EXPECT_EQ(vlk_test::read_file(out.path()), kNetwork);

  // A stream that takes nothing: the writer's failure reaches the caller.
  EXPECT_NE(IO_output_network_file("/dev/full", net.get(), "VLK3", nullptr), 0);
  FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  EXPECT_NE(IO_output_network_fp(full, net.get(), "VLK3", nullptr), 0);
  std::fclose(full);
}

// A network of one edge a -> b with the given labels on b.
NetworkPtr edge_to(const char* name, const char* alias) {
  NetworkPtr net(VLK_Network_new());
  VLK_Network_add_node(net.get(), VLK_Node_new("a", "A"));
  VLK_Network_add_node(net.get(), VLK_Node_new(name, alias));
  VLK_Network_add_edge_index(net.get(), 0, 1);
  return net;
}

// Every writer whose format has a reader refuses, before writing anything, a name or alias
// that its reader would read back as something else; what it can read back is written.
TEST(Registry, WritersRefuseNamesTheirReadersCannotReadBack) {
  const auto node1 = [&](const char* writer, const char* what, const char* text, const char* why) {
    return std::string("ERROR: ") + writer + ": cannot write node 1 (counted from 0): its " + what +
           " \"" + text + "\" " + why + ", and would not read back\n";
  };
  const std::string tab = "holds a TAB, which separates the fields";
  const std::string end = "holds a line end";
  const std::string lead = "starts with a blank, which the reader trims";
  struct Case {
    const char* format;
    const char* name;
    const char* alias;
    std::string on_stderr;  // empty: written
  };
  const Case cases[] = {
      {"TXT", "", "B", node1("TXT", "name", "", "is empty")},
      {"TXT", "b\tc", "B", node1("TXT", "name", "b\\tc", tab.c_str())},
      {"TXT", "b\rc", "B", node1("TXT", "name", "b\\rc", end.c_str())},
      {"TXT", " b ", "\t", ""},  // fields are not trimmed, and aliases are not read
      {"VLK2", "", "B", node1("VLK2", "name", "", "is empty")},
      {"VLK2", " b", "B", node1("VLK2", "name", " b", lead.c_str())},
      {"VLK2", "b", "B\n", node1("VLK2", "alias", "B\\n", end.c_str())},
      {"VLK2", "b", "B ",
       node1("VLK2", "alias", "B ", "ends with a blank, which the reader trims")},
      {"VLK2", "b \r", " B", ""},  // only LF ends a line
      {"VLK3", "", "B", node1("VLK3", "name", "", "is empty")},
      {"VLK3", "\tb", "B", node1("VLK3", "name", "\\tb", tab.c_str())},
      {"VLK3", " b", "B", node1("VLK3", "name", " b", lead.c_str())},
      {"VLK3", "b", "B\tC", node1("VLK3", "alias", "B\\tC", tab.c_str())},
      {"VLK3", "b \x01", "", ""},
      {"CSML", "", "B",
       "ERROR: CSML: cannot write node 1 (counted from 0): its name is empty, "
       "and would not read back\n"},
      {"CSML", " b\t\n<&>", " ", ""},  // escaped
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.format) + " \"" + k.name + "\" \"" + k.alias + "\"");
    const NetworkPtr net = edge_to(k.name, k.alias);
    vlk_test::TempFile out("");
    const net_test::Stop r = net_test::stop_of([&] {
      if (IO_output_network_file(out.path().c_str(), net.get(), k.format, nullptr) != 0) _exit(4);
    });
    if (k.on_stderr.empty()) {
      EXPECT_TRUE(r.end.exited && r.end.status == 0) << r.stderr_text;
      EXPECT_NE(vlk_test::read_file(out.path()), "");
      continue;
    }
    EXPECT_TRUE(r.end.exit1()) << "status " << r.end.status << " signal " << r.end.signal;
    EXPECT_TRUE(r.stderr_text.ends_with(k.on_stderr)) << r.stderr_text;
    EXPECT_EQ(vlk_test::read_file(out.path()), "");
  }
  // The CSML reader takes a property "probeID" for the name; the same in the writer's own words.
  const NetworkPtr net = edge_to("b", "B");
  CSMLObject_add_property_string(VLK_Network_get_node(net.get(), 1)->drawing, "probeID", "x");
  EXPECT_EQ(vlk::io::write_problem(net.get(), "csml"),
            "ERROR: CSML: cannot write node 1 (counted from 0): its property \"probeID\" would be "
            "read back as its name\n");
}
// A null path reads standard input, which stays open afterwards.
TEST(Registry, ReadsStandardInputWithoutClosingIt) {
  vlk_test::TempFile input(kNetwork);
  const vlk_test::Ending end = vlk_test::run_fatal([&] {
    if (std::freopen(input.path().c_str(), "r", stdin) == nullptr) _exit(3);
    VLK_Network* net = IO_read_file(nullptr, "VLK3", nullptr);
    if (net == nullptr || VLK_Network_num_nodes(net) != 3 || VLK_Network_num_edges(net) != 2)
      _exit(4);
    if (fcntl(STDIN_FILENO, F_GETFD) == -1) _exit(5);
    VLK_Network_delete(net);
  });
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.status, 0);
}

}  // namespace
