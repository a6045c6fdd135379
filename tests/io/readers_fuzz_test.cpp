// Random mutations of valid inputs fed to every expression reader. Each mutant is read in a
// child process, which must either return a data set that holds together or stop with one of
// the readers' own error lines and exit status 1: never a signal, never a sanitizer report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "VLK_Data.h"
#include "VLK_DataMatrix.h"
#include "VLK_EDF.h"
#include "VLK_IO.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_StrArray.h"
#include "VLK_VLK3.h"
#include "velkcom.h"
#include "vlk_test.h"

namespace {

using vlk_test::TempFile;

// In the child: a broken invariant ends it with a signal, which the parent reports.
void require(bool ok) {
  if (!ok) std::abort();
}

enum class Kind { matrix, table, edf };

// nan_ok: the reader was told to read missing values as NaN (EDF's allow_nan).
void check_data(const VLK_Data* d, Kind kind, bool nan_ok) {
  require(d->p >= 0 && d->n >= 0);
  require(d->names != nullptr && d->names->size == static_cast<size_t>(d->p));
  require(d->aliases != nullptr && d->aliases->size == static_cast<size_t>(d->p));
  for (int v = 0; v < d->p; ++v) require(d->names->data[v] && d->aliases->data[v]);
  if (kind == Kind::matrix) require(d->p == 0 ? d->n == 0 : d->n >= 1);
  const size_t cells = VLK_Data_cells(d->p, d->n);
  require(cells == 0 || d->X != nullptr);
  require(d->Y == d->X);
  double sum = 0;  // touches every value
  for (size_t i = 0; i < cells; ++i) {
    require(std::isfinite(d->X[i]) || (nan_ok && std::isnan(d->X[i])));
    sum += std::isfinite(d->X[i]) ? d->X[i] : 0;
  }
  volatile double sink = sum;
  (void)sink;
  if (d->category) {
    require(d->labels != nullptr);
    for (size_t i = 0; i < cells; ++i) {
      const size_t v = i / static_cast<size_t>(d->n);
      const double x = d->X[i];
      require(x >= 0 && x == std::floor(x) && x < static_cast<double>(d->labels[v].size));
    }
  }
  if (d->sample_names != nullptr) require(d->sample_names->size == static_cast<size_t>(d->n));
  if (kind == Kind::edf) {
    require(d->primary_ids && d->primary_ids->size == static_cast<size_t>(d->n));
    require(d->secondary_ids && d->secondary_ids->size == static_cast<size_t>(d->n));
    if (d->attributes != nullptr)
      for (size_t i = 0; i < VLK_KeyValues_size(d->attributes); ++i)
        require(static_cast<const VLK_StrArray*>(VLK_KeyValues_get_value(d->attributes, i))->size ==
                static_cast<size_t>(d->n));
  }
}

// One reader with one option set, as the child runs it.
struct Target {
  std::string name;
  std::function<void(FILE*)> read;
  bool reads_every_line = true;  // so a NUL byte anywhere must have been refused
};

Target data_reader(const std::string& name, Kind kind, std::string options,
                   VLK_Data* (*reader)(FILE*, const VLK_KeyValues*)) {
  const bool nan_ok = options.find("allow_nan=on") != std::string::npos;
  return {name + " {" + options + "}", [=](FILE* fp) {
            VLK_KeyValues* list = VLK_KeyValues_parse(options.c_str());
            VLK_Data* d = reader(fp, list);
            if (d != nullptr) check_data(d, kind, nan_ok);
            require(d != nullptr || kind == Kind::table);
            VLK_Data_delete(d);
            VLK_KeyValues_delete(list);
          }};
}

Target values_reader(int header_rows, int label_columns) {
  return {"values " + std::to_string(header_rows) + "," + std::to_string(label_columns),
          [=](FILE* fp) {
            int rows = -1, cols = -1;
            double* v = VLK_DataMatrix_read_values_fp(fp, header_rows, label_columns, &rows, &cols);
            require(rows >= 0 && cols >= 0 && (v != nullptr) == (rows > 0));
            for (size_t i = 0; i < static_cast<size_t>(rows) * cols; ++i)
              require(std::isfinite(v[i]));
            std::free(v);
          }};
}

Target buffer_reader(size_t capacity) {
  return {"buffer " + std::to_string(capacity), [=](FILE* fp) {
            std::vector<double> buf(capacity + 1, 42.0);
            int rows = -1, cols = -1;
            require(VLK_DataMatrix_read_values_buff_fp(fp, 0, 1, buf.data(), &rows, &cols,
                                                       capacity) == 0);
            require(static_cast<size_t>(rows) * cols <= capacity);
            require(buf[capacity] == 42.0);
          }};
}

// A network format read through the registry, as the program reads one: a broken file ends the
// process with the registry's line. A network read holds together (every edge between two of its
// nodes, each node at its index), and what the writer makes of it reads back: from the second
// writing on (the first may order the edges anew) the text comes out the same every time.
std::string network_text(const char* format, const VLK_Network* net) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  require(out != nullptr && IO_output_network_fp(out, net, format, nullptr) == 0);
  std::fclose(out);
  std::string s(text, size);
  std::free(text);
  return s;
}

void check_network(const VLK_Network* net) {
  const size_t n = VLK_Network_num_nodes(net);
  for (size_t i = 0; i < n; ++i) {
    const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
    require(node != nullptr && node->index == static_cast<int>(i) && node->name && node->alias);
    const VLK_IntArray* parents = VLK_Network_get_parent_indexes(net, static_cast<int>(i));
    for (size_t k = 0; k < parents->size; ++k)
      require(parents->data[k] >= 0 && static_cast<size_t>(parents->data[k]) < n);
  }
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    for (const VLK_Node* end : {e->parent, e->child})
      require(end != nullptr && VLK_Network_get_node(net, end->index) == end);
  }
}

// The text of the network read back from a text the writer made.
std::string reread(const char* format, std::string text) {
  FILE* in = fmemopen(text.data(), text.size(), "r");
  VLK_Network* net = IO_read_fp(in, format, nullptr);
  std::fclose(in);
  require(net != nullptr);
  check_network(net);
  std::string again = network_text(format, net);
  VLK_Network_delete(net);
  return again;
}

Target network_reader(const char* format) {
  return {format,
          [=](FILE* fp) {
            const std::string path = "/proc/self/fd/" + std::to_string(fileno(fp));
            VLK_Network* net = IO_read_file(path.c_str(), format, nullptr);
            check_network(net);
            const std::string first = network_text(format, net);
            VLK_Network_delete(net);
            const std::string second = reread(format, first);
            require(reread(format, second) == second);
          },
          false};  // a network ends at a line "-", and what follows is not read
}

// The line a fatal path ends with: one of the readers' error lines.
bool ends_with_reader_error(const std::string& err) {
  std::vector<std::string_view> lines;
  std::string_view rest = err;
  while (!rest.empty()) {
    const size_t p = rest.find('\n');
    lines.push_back(rest.substr(0, p));
    if (p == std::string_view::npos) break;
    rest.remove_prefix(p + 1);
  }
  if (lines.empty()) return false;
  std::string_view last = lines.back();
  if (last.starts_with("              attr=") && lines.size() >= 2) last = lines[lines.size() - 2];
  if (last.starts_with("NAN value found at line ")) return true;
  return last.starts_with("ERROR: ") && last.find("Same node name found") == std::string_view::npos;
}

std::string escaped(const std::string& s) {
  std::string out;
  for (const unsigned char c : s) {
    if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n\n";
    else if (c == '\r')
      out += "\\r";
    else if (c < 32 || c > 126)
      out += "\\x" + std::to_string(c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

class Mutator {
 public:
  explicit Mutator(unsigned seed) : rng_(seed) {}

  std::string operator()(std::string s) {
    const int ops = pick(1, 6);
    for (int k = 0; k < ops; ++k) {
      const size_t at = s.empty() ? 0 : static_cast<size_t>(pick(0, static_cast<int>(s.size())));
      switch (pick(0, 5)) {
        case 0:
          if (at < s.size()) s[at] = byte();
          break;
        case 1:
          s.insert(at, 1, byte());
          break;
        case 2:
          if (at < s.size()) s.erase(at, static_cast<size_t>(pick(1, 4)));
          break;
        case 3: {  // copy a piece elsewhere
          if (s.empty()) break;
          const size_t from = static_cast<size_t>(pick(0, static_cast<int>(s.size()) - 1));
          s.insert(at, s.substr(from, static_cast<size_t>(pick(1, 24))));
          break;
        }
        case 4:
          s.resize(at);
          break;
        default:
          s.insert(at, token());
      }
    }
    return s;
  }

 private:
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  char byte() {
    using namespace std::string_view_literals;
    static constexpr std::string_view kBytes = "\t\t\t\n\n\r ,;_@$#-.e0123456789naNAxg\0\xff"sv;
    return kBytes[static_cast<size_t>(pick(0, static_cast<int>(kBytes.size()) - 1))];
  }
  std::string token() {
    static const char* const kTokens[] = {
        "\t",      "\n",    "\r\n",      "__",      "nan",
        "inf",     "NA",    "@TypeID\t", "@time\t", "$KeywordOfNA\t-\n",
        "#",       "1e999", "\t\t",      "\n\n",    "exp\t",
        "label\t", "-",     ",",         "$",       "@",
        "\t-\t"};
    return kTokens[pick(0, static_cast<int>(std::size(kTokens)) - 1)];
  }
  std::mt19937 rng_;
};

// How one child process ended.
struct ChildEnd {
  size_t last = 0;  // the mutant it was reading when it ended
  bool exited = false;
  int status = 0, signal = 0;
  std::string err, report;  // that mutant's VELK_ERR, the child's standard error
};

// Reads mutants[start..] in one child, which goes on while the readers return and ends with the
// first mutant that stops the process. The child announces every mutant on a pipe before
// reading it, so the parent knows which one ended it.
ChildEnd run_from(size_t start, const std::vector<std::string>& mutants,
                  const std::vector<const Target*>& targets) {
  TempFile err_file(""), report_file(""), input("");
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    // A reader that stops the process leaves through exit(); the libraries' teardown (thread
    // pools of the forked parent among them) would cost far more than the read itself.
    on_exit(
        [](int status, void*) {
          std::fflush(nullptr);
          _exit(status);
        },
        nullptr);
    const int report = open(report_file.path().c_str(), O_WRONLY | O_TRUNC);
    if (report >= 0) dup2(report, 2);  // sanitizer reports
    VELK_ERR = std::fopen(err_file.path().c_str(), "w");
    for (size_t i = start; i < mutants.size(); ++i) {
      if (write(fds[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i)) _exit(3);
      std::rewind(VELK_ERR);
      if (ftruncate(fileno(VELK_ERR), 0) != 0) _exit(3);
      FILE* fp = std::fopen(input.path().c_str(), "w");
      std::fwrite(mutants[i].data(), 1, mutants[i].size(), fp);
      std::fclose(fp);
      fp = std::fopen(input.path().c_str(), "r");
      targets[i]->read(fp);
      std::fclose(fp);
      // A reader that reads every line refuses a line holding a NUL byte.
      require(!targets[i]->reads_every_line || mutants[i].find('\0') == std::string::npos);
    }
    std::fflush(VELK_ERR);
    _exit(0);
  }
  close(fds[1]);
  ChildEnd end;
  end.last = start;
  size_t i;
  while (read(fds[0], &i, sizeof i) == static_cast<ssize_t>(sizeof i)) end.last = i;
  close(fds[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  end.exited = WIFEXITED(wstatus);
  end.status = end.exited ? WEXITSTATUS(wstatus) : 0;
  end.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  end.err = vlk_test::read_file(err_file.path());
  end.report = vlk_test::read_file(report_file.path());
  return end;
}

void fuzz(const std::vector<std::string>& seeds, const std::vector<Target>& targets, int count,
          unsigned seed) {
  Mutator mutate(seed);
  std::mt19937 choose(seed + 1);
  std::vector<std::string> mutants;
  std::vector<const Target*> readers;
  for (int i = 0; i < count; ++i) {
    const std::string& base = seeds[choose() % seeds.size()];
    readers.push_back(&targets[choose() % targets.size()]);
    mutants.push_back(i < static_cast<int>(seeds.size()) ? seeds[i] : mutate(base));
  }
  int refused = 0;
  for (size_t start = 0; start < mutants.size();) {
    const ChildEnd end = run_from(start, mutants, readers);
    const bool clean = end.exited && end.status == 0;
    const bool stopped = end.exited && end.status == 1 && ends_with_reader_error(end.err);
    ASSERT_TRUE((clean || stopped) && end.report.empty())
        << readers[end.last]->name << ", mutant " << end.last << ": exited " << end.exited
        << " status " << end.status << " signal " << end.signal << "\n--- input ---\n"
        << escaped(mutants[end.last]) << "\n--- VELK_ERR ---\n"
        << end.err << "--- stderr ---\n"
        << end.report;
    if (clean) break;
    ++refused;
    start = end.last + 1;
  }
  // Both outcomes must be common, or the mutants test little.
  EXPECT_GT(refused, count / 10);
  EXPECT_LT(refused, count - count / 10);
}

TEST(ReadersFuzz, DataMatrixRows) {
  TempFile table("g1\tALIAS\nB\tNA\nx\n");
  const std::vector<Target> targets = {
      data_reader("matrix", Kind::matrix, "", VLK_DataMatrix_read_fp),
      data_reader("matrix", Kind::matrix, "I=1,h=1,l=1", VLK_DataMatrix_read_fp),
      data_reader("matrix", Kind::matrix, "DUL,csv", VLK_DataMatrix_read_fp),
      data_reader("matrix", Kind::matrix, "DUL,l=1,dup=off", VLK_DataMatrix_read_fp),
      data_reader("matrix", Kind::matrix, "l=0,D=3", VLK_DataMatrix_read_fp),
      data_reader("matrix", Kind::matrix, "D=2147483647", VLK_DataMatrix_read_fp),
      data_reader("matrix", Kind::matrix, "l=3,delim=;", VLK_DataMatrix_read_fp),
      data_reader("matrix", Kind::matrix, "alias_table=" + table.path() + ",l=1",
                  VLK_DataMatrix_read_fp),
  };
  const std::vector<std::string> seeds = {
      "g1\ta1\t1\t2\t3\ng2\ta2\t4\t5\t6\ng3\ta3\t7\t8\t9\n",
      "hdr\tx\tS1\tS2\nA__m__B\tz\t1.5\t-2\nC__m__D\tz\t3\t4e2\n",
      "g1,a1,1,2\nA__m__B,a2,3,4",
      "g1;a;b;1;2\ng2;a;b;3;4\n",
  };
  fuzz(seeds, targets, 700, 11);
}

TEST(ReadersFuzz, DataMatrixWholeTable) {
  const std::vector<Target> targets = {
      data_reader("table", Kind::table, "cat", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "cat,h=1", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "trans", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "trans,h=1,l=1", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "trans,cat,l=0", VLK_DataMatrix_read_fp),
  };
  const std::vector<std::string> seeds = {
      "n1\tn2\tn3\na1\ta2\ta3\n1\t2\t3\n4\t5\t6\n",
      "id\tal\tS1\tS2\ng1\ta1\tlo\thi\ng2\ta2\thi\thi\n",
      "x\tn1\tn2\ny\ta1\ta2\ns1\t1\t2\ns2\t3\t4",
  };
  fuzz(seeds, targets, 500, 22);
}

TEST(ReadersFuzz, DataMatrixValueReaders) {
  const std::vector<Target> targets = {values_reader(1, 1), values_reader(0, 2), buffer_reader(6),
                                       buffer_reader(64)};
  const std::vector<std::string> seeds = {"h\tA\tB\ng1\t1\t2\ng2\t3\t4\n",
                                          "g1\ta\t1\t2\t3\ng2\ta\t4\t5\t6"};
  fuzz(seeds, targets, 400, 33);
}

TEST(ReadersFuzz, EDF) {
  const std::vector<Target> targets = {
      data_reader("edf", Kind::edf, "", VLK_EDF_read_fp),
      data_reader("edf", Kind::edf, "allow_nan=on", VLK_EDF_read_fp),
      data_reader("edf", Kind::edf, "log=on,v,allow_nan=on", VLK_EDF_read_fp),
      data_reader("edf", Kind::edf, "d=comma,allow_nan=on", VLK_EDF_read_fp),
  };
  const std::vector<std::string> seeds = {
      "$Version\t1.0\n# c\n$PrimaryKeyGroupID\ttime\n@TypeID\texp\t\tlabel\tExpression\n"
      "@time\t0\t0\t9\t1\n@Series\t1\t2\t9\t1\ng1\t1\t2\tzz\t3\ng2\t4\t5\tyy\t6\n",
      "$Version\t1.0\ng1\t1.000000\t2.000000\ng2\t3\t4\n",
      "$KeywordOfNA\t-\n@a\tx\ty\ng1\t-\t2\ng1\t3\t-\n",
      "$Version,1.0\n@TypeID,exp,exp\ng1,1,2\ng2,3,4\n",
  };
  fuzz(seeds, targets, 800, 44);
}

TEST(ReadersFuzz, VLK3) {
  const std::vector<Target> targets = {network_reader("VLK3")};
  const std::vector<std::string> seeds = {
      "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tedgeScore:double\tFreq:double\tCount:int\n"
      "Node Attr\tCount:int\n\n[Nodes]\ngeneA\tA1\t0\t5\ngeneB\tB2\t1\t3\ngeneC\tC3\t2\t5\n\n"
      "[Edges]\n0\t1\t0.750000\t0.750000\t4\n2\t1\t0.500000\t0.500000\t3\n"
      "0\t2\t0.250000\t0.250000\t7\n",
      "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tw:double\tlabel\nX:title:string\tnet\n"
      "X:n:int\t4\nNode Attr\tkind:str\tsize:integer\n[Nodes]\na\tA\t0\tleaf\t3\nb\tB\t1\n"
      "c\tC\t2\t\t5\n[Edges]\n0\t1\t0.5\tfirst\n1\t2\n2\t0\t\tx\n-\nafter\n",
      "Velk VLK3 FORMAT\n[Information]\n[Nodes]\nx\tX\t0\ny\tY\t1\n[Edges]\n1\t0\n0\t1",
  };
  fuzz(seeds, targets, 800, 55);
}

}  // namespace
