// The final network as written: its edge and node properties in VLK3, where it goes, what a
// file that cannot be written does to the result, and the start-up refusal of an output the
// run could not write.
#include "output/output_network.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"
#include "settings/args.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;
using GraphPtr = vlk::Owned<VLK_PCGraph, VLK_PCGraph_delete>;
using ValuesPtr = vlk::Owned<VLK_FloatArray, VLK_FloatArray_delete>;

std::string here_dir() {
  const std::string here = __FILE__;
  return here.substr(0, here.rfind('/'));
}

// Three genes and the gathered network: 0 -> 1, 2 -> 1 and 0 -> 2, values per edge in order.
struct Final {
  DataPtr data{VLK_Data_new()};
  GraphPtr graph{VLK_PCGraph_new(3)};
  ValuesPtr values{VLK_FloatArray_new()};

  Final(const std::vector<std::vector<float>>& per_edge, bool edges = true) {
    const char* names[3][2] = {{"geneA", "A1"}, {"geneB", "B2"}, {"geneC", "C3"}};
    data->p = 3;
    for (auto& n : names) {
      VLK_StrArray_add_copy(data->names, n[0]);
      VLK_StrArray_add_copy(data->aliases, n[1]);
    }
    if (edges) {
      VLK_PCGraph_add_edge(graph.get(), 0, 1);
      VLK_PCGraph_add_edge(graph.get(), 2, 1);
      VLK_PCGraph_add_edge(graph.get(), 0, 2);
    }
    for (const auto& e : per_edge)
      for (float x : e) VLK_FloatArray_add(values.get(), x);
  }
  int write4(const char* prefix, const char* format = "VLK3", VLK_KeyValues* options = nullptr) {
    return output_network4(prefix, format, options, data.get(), graph.get(), values.get());
  }
};

// A directory of its own for the files a test writes.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/vlk_output_XXXXXX";
    path_ = mkdtemp(name);
  }
  ~TempDir() { std::system(("rm -rf " + path_).c_str()); }
  std::string operator/(const std::string& leaf) const { return path_ + "/" + leaf; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The registry's VLK3 writer reports itself on the error stream before it writes.
const std::string kWriting = "Writing a network in VLK3 format...\n";

TEST(FinalNetwork, DirectedFormWithPairCountsMatchesTheGoldenFile) {
  // Node counts are half the pair counts of each node's edges: geneB has 4 + 3 = 7, so 3.
  Final f({{0.75f, 4}, {0.5f, 3}, {0.25f, 7}});
  vlk_test::CaptureErr err;
  EXPECT_EQ(f.write4(nullptr), 0);
  EXPECT_EQ(err.text(),
            kWriting + vlk_test::read_file(here_dir() + "/../io/golden/final_network.vlk3"));
}

TEST(FinalNetwork, UndirectedFormCarriesTheShareOfTheKeptDirection) {
  Final f({{0.75f, 0.5f, 4}, {0.5f, 1.0f, 3}, {0.25f, 0.75f, 7.9f}});
  vlk_test::CaptureErr err;
  EXPECT_EQ(output_network5(nullptr, "vlk3", nullptr, f.data.get(), f.graph.get(), f.values.get()),
            0);
  EXPECT_EQ(err.text(), "output_network5() called.\n" + kWriting +
                            "Velk VLK3 FORMAT\n"
                            "[Information]\n"
                            "Edge Attr\tedgeScore:double\tFreq:double\tDir:double\tCount:int\n"
                            "Node Attr\tCount:int\n"
                            "\n"
                            "[Nodes]\n"
                            "geneA\tA1\t0\t5\n"
                            "geneB\tB2\t1\t3\n"
                            "geneC\tC3\t2\t5\n"
                            "\n"
                            "[Edges]\n"
                            "0\t1\t0.750000\t0.750000\t0.500000\t4\n"
                            "2\t1\t0.500000\t0.500000\t1.000000\t3\n"
                            "0\t2\t0.250000\t0.250000\t0.750000\t7\n");
}

TEST(FinalNetwork, WithoutEdgesEveryGeneIsANodeOfCountZero) {
  Final f({}, false);
  vlk_test::CaptureErr err;
  EXPECT_EQ(f.write4(nullptr), 0);
  EXPECT_EQ(err.text(), kWriting +
                            "Velk VLK3 FORMAT\n"
                            "[Information]\n"
                            "Node Attr\tCount:int\n"
                            "\n"
                            "[Nodes]\n"
                            "geneA\tA1\t0\t0\n"
                            "geneB\tB2\t1\t0\n"
                            "geneC\tC3\t2\t0\n"
                            "\n"
                            "[Edges]\n");
}

TEST(FinalNetwork, TheFileNameAndWhatHappensWhenItCannotBeWritten) {
  TempDir dir;
  Final f({{0.75f, 4}, {0.5f, 3}, {0.25f, 7}});
  const std::string golden = vlk_test::read_file(here_dir() + "/../io/golden/final_network.vlk3");
  struct Row {
    std::string prefix;
    const char* format;
    std::string file;
  };
  const Row rows[] = {
      {dir / "out", "VLK3", dir / "out.vlk3"},
      {dir / "run.7", "Vlk3", dir / "run.7.vlk3"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    vlk_test::CaptureErr err;
    EXPECT_EQ(f.write4(row.prefix.c_str(), row.format), 0);
    EXPECT_EQ(err.text(), kWriting);
    EXPECT_EQ(vlk_test::read_file(row.file), golden);
  }
  EXPECT_EQ(final_network_path("out", "CSML"), "out.csml");

  // A directory that is not there: the network goes to the error stream after two warnings,
  // and the result says the file was not written.
  const std::string missing = dir / "no/such/dir/out";
  vlk_test::CaptureErr err;
  EXPECT_EQ(f.write4(missing.c_str()), 1);
  EXPECT_EQ(err.text(), "ERROR: cannot write the final network to " + missing +
                            ".vlk3: cannot create a file in " + (dir / "no/such/dir") +
                            ": No such file or directory\n"
                            "WARNING: Cannot open file: " +
                            missing +
                            ".vlk3\n"
                            "WARNING: Writing the network to the standard error.\n" +
                            kWriting + golden);
  EXPECT_FALSE(exists(missing + ".vlk3"));
}

// A write that fails part-way (here the file-size limit stands for a full disk) leaves the
// previous result as it was and says so; a link to a device is written through the link.
TEST(FinalNetwork, AFailedWriteKeepsThePreviousResult) {
  TempDir dir;
  Final f({{0.75f, 4}, {0.5f, 3}, {0.25f, 7}});
  const std::string prefix = dir / "out", file = dir / "out.vlk3";
  {
    std::ofstream previous(file);
    previous << "the previous result\n";
  }
  const auto end = vlk_test::run_fatal([&] {
    // The limit holds for every file of the process: the messages wait in memory meanwhile.
    FILE* messages = VELK_ERR;
    char* text = nullptr;
    size_t length = 0;
    VELK_ERR = open_memstream(&text, &length);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    const int result = f.write4(prefix.c_str());
    limit.rlim_cur = RLIM_INFINITY;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::fclose(VELK_ERR);
    std::fwrite(text, 1, length, messages);
    VELK_ERR = messages;
    std::exit(result == 1 ? 0 : 2);
  });
  EXPECT_TRUE(end.exited && end.status == 0) << end.err;
  EXPECT_EQ(end.err, kWriting + "ERROR: cannot write the final network to " + file +
                         ": cannot write it: File too large\n");
  EXPECT_EQ(vlk_test::read_file(file), "the previous result\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind

  const std::string linked = dir / "full";
  std::filesystem::create_symlink("/dev/full", linked + ".vlk3");
  vlk_test::CaptureErr err;
  EXPECT_EQ(f.write4(linked.c_str()), 1);
  EXPECT_EQ(err.text(), kWriting + "ERROR: cannot write the final network to " + linked +
                            ".vlk3: cannot write it: No space left on device\n");
  EXPECT_TRUE(std::filesystem::is_symlink(linked + ".vlk3"));
}

TEST(FinalNetwork, OneValueFormsAndAFullDisk) {
  TempDir dir;
  Final f({{0.75f}, {0.5f}, {0.25f}});
  const char* simple =
      "Velk VLK3 FORMAT\n"
      "[Information]\n"
      "Edge Attr\tFreq:double\n"
      "\n"
      "[Nodes]\n"
      "geneA\tA1\n"
      "geneB\tB2\n"
      "geneC\tC3\n"
      "\n"
      "[Edges]\n"
      "0\t1\t0.750000\n"
      "2\t1\t0.500000\n"
      "0\t2\t0.250000\n";
  {
    vlk_test::CaptureErr err;
    const std::string prefix = dir / "one";
    EXPECT_EQ(output_network(prefix.c_str(), "vlk3", nullptr, f.data.get(), f.graph.get(),
                             f.values.get()),
              0);
    EXPECT_EQ(err.text(), "output_VLK3() called.\n");
    EXPECT_EQ(vlk_test::read_file(dir / "one.vlk3"), simple);
  }
  {
    // Writer options take the registry's writer: edges by child, edgeScore and Freq.
    vlk_test::CaptureErr err;
    const vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> opts(VLK_KeyValues_parse("x=1"));
    const std::string missing = dir / "none/one";
    EXPECT_EQ(output_network(missing.c_str(), "VLK3", opts.get(), f.data.get(), f.graph.get(),
                             f.values.get()),
              1);
    const std::string text = err.text();
    EXPECT_TRUE(text.starts_with("ERROR: cannot write the final network to " + missing +
                                 ".vlk3: cannot create a file in " + (dir / "none") +
                                 ": No such file or directory\n"
                                 "WARNING: cannot open file: " +
                                 missing + ".vlk3\n" + kWriting +
                                 "Velk VLK3 FORMAT\n[Information]\n"
                                 "Edge Attr\tedgeScore:double\tFreq:double\n\n"))
        << text;
    EXPECT_NE(text.find("2\t1\t0.500000\t0.500000\n"), std::string::npos) << text;
  }
  // A stream that cannot take the text reports it.
  FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  vlk_test::CaptureErr err;
  EXPECT_EQ(output_VLK3(f.data.get(), f.graph.get(), f.values.get(), full), 1);
  std::fclose(full);
}

TEST(FinalNetwork, ValuesMissingForAnEdgeAreRefused) {
  Final f({{0.75f, 4}, {0.5f, 3}});
  EXPECT_FATAL_EXIT(f.write4(nullptr),
                    "ERROR: output_network4(): 4 edge values for 3 edges of 2 values each\n");
}

// A gene name the writer of -O would refuse at the end of the run is refused as soon as the
// data are read, on process 0, with the writer's own line.
TEST(FinalNetwork, ANameTheWriterCannotWriteIsRefusedBeforeTheRun) {
  Final f({});
  std::free(f.data->names->data[1]);
  VLK_StrArray_set(f.data->names, 1, strdup(" geneB"));
  Args* a = Args_new_rank(0, 1);
  a->whole_data = f.data.get();
  const auto end = vlk_test::run_fatal([&] { check_output_names(a); });
  EXPECT_TRUE(end.exit1());
  EXPECT_TRUE(end.err.starts_with("ERROR: VLK3: ")) << end.err;
  EXPECT_NE(end.err.find(" geneB"), std::string::npos) << end.err;
  // The TXT writer takes it; a process other than 0 writes nothing and checks nothing.
  a->output_format = strdup("TXT");
  EXPECT_EQ(vlk_test::run_fatal([&] { check_output_names(a); }).status, 0);
  a->rank = 1;
  std::free(a->output_format);
  a->output_format = strdup("VLK3");
  EXPECT_EQ(vlk_test::run_fatal([&] { check_output_names(a); }).status, 0);
  a->whole_data = nullptr;
  Args_delete(a);
}

TEST(FinalNetwork, AnOutputTheRunCannotWriteIsRefusedAtStartUp) {
  TempDir dir;
  std::filesystem::create_directory(dir / "taken.vlk3");
  {
    std::ofstream previous(dir / "kept.vlk3");
    previous << "kept\n";
  }
  const std::string missing = dir / "none/out", taken = dir / "taken", kept = dir / "kept";
  struct Row {
    std::vector<std::string> words;
    int rank;
    std::string error;  // empty: accepted
  };
  const Row rows[] = {
      {{"-O", "nosuch"}, 0, "ERROR: unknown output format (-O): nosuch\n"},
      {{"-O", "PALIST"}, 0, "ERROR: unknown output format (-O): PALIST\n"},
      {{"--output-mode", "2"}, 0, "ERROR: Unknown output mode: 2\n"},
      {{"-O", "nosuch", "--on", "off"}, 0, ""},
      {{"-O", "Vlk3", "--output-mode", "1"}, 0, ""},
      {{"-o", missing, "--log", "3"},
       0,
       "ERROR: cannot write the final network to " + missing + ".vlk3: cannot create a file in " +
           (dir / "none") + ": No such file or directory\n"},
      {{"-o", taken, "--log", "2"},
       0,
       "ERROR: cannot write the final network to " + taken + ".vlk3: it is a directory\n"},
      {{"-o", taken, "--log", "3"}, 1, ""},  // process 0 alone writes the network
      {{"-o", taken, "--log", "3", "--on", "0"}, 0, ""},
      {{"-o", kept, "--log", "3"}, 0, ""},
  };
  for (const Row& row : rows) {
    std::vector<const char*> argv = {"velknnsr"};
    for (const std::string& w : row.words) argv.push_back(w.c_str());
    argv.push_back("data.txt");
    SCOPED_TRACE(row.words.back());
    const auto end = vlk_test::run_fatal([&] {
      Args* a = Args_new_rank(row.rank, 2);
      parse_args(a, static_cast<int>(argv.size()), const_cast<char**>(argv.data()));
      Args_delete(a);  // as a run's end, gives the output prefix up
    });
    if (!row.error.empty()) {
      EXPECT_TRUE(end.exit1());
      EXPECT_EQ(end.err, row.error);
    } else {
      EXPECT_TRUE(end.exited && end.status == 0) << end.err;
    }
  }
  // The probe leaves nothing behind and the previous result as it was.
  EXPECT_EQ(vlk_test::read_file(kept + ".vlk3"), "kept\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            2);
}

}  // namespace
