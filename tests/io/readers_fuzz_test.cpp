// Random mutations of valid inputs fed to every expression reader, to the network readers, to
// the XML parser and to the CSML reader. Each mutant is read in a child process, which must
// either return a result that holds together or stop with one of the readers' own error lines
// and exit status 1: never a signal, never a sanitizer report. Every network read is also
// written by each format that keeps names and read back, which must give what it kept.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "CSMLObject.h"
#include "ContPrior.h"
#include "VLK_BSF.h"
#include "VLK_CSML.h"
#include "VLK_Data.h"
#include "VLK_DataMatrix.h"
#include "VLK_EDF.h"
#include "VLK_IO.h"
#include "VLK_KeyValues.h"
#include "VLK_ListReaders.h"
#include "VLK_Network.h"
#include "VLK_SAX.h"
#include "VLK_StrArray.h"
#include "VLK_TXT.h"
#include "VLK_Type.h"
#include "VLK_VLK2.h"
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
  // A NUL byte can only be refused (the line readers and the XML parser), or be left unread:
  // the network readers stop at a line "-", and the CSML reader keeps what it read before a
  // syntax error.
  bool refuses_nul = true;
  // Network readers may follow their error line with indented details.
  bool network = false;
  // The file a data reader was told it reads, which every refusal must name last.
  std::string file{};
};

using DataReader = std::function<VLK_Data*(FILE*, const VLK_KeyValues*)>;

Target data_reader(const std::string& name, Kind kind, std::string options, DataReader reader,
                   std::string file = "") {
  const bool nan_ok = options.find("allow_nan=on") != std::string::npos;
  return {name + " {" + options + "}" + (file.empty() ? "" : " as " + file),
          [=](FILE* fp) {
            VLK_KeyValues* list = VLK_KeyValues_parse(options.c_str());
            VLK_Data* d = reader(fp, list);
            if (d != nullptr) check_data(d, kind, nan_ok);
            require(d != nullptr || kind == Kind::table);
            VLK_Data_delete(d);
            VLK_KeyValues_delete(list);
          },
          true, false, file};
}

// A data reader given the stream together with the name of its file.
DataReader reading(VLK_Data* (*reader)(FILE*, const VLK_KeyValues*, const char*),
                   const char* file) {
  return [=](FILE* fp, const VLK_KeyValues* list) { return reader(fp, list, file); };
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

// The XML parser on its own: every event must be one the machine can make. Its refusal is a
// syntax error, which the child turns into an exit as the readers' errors do, so that the
// share of refused mutants tells how many broke the document.
Target xml_parser() {
  return {"xml parser", [](FILE* fp) {
            vlk::SAXPtr sax(VLK_SAX_new());
            VLK_SAX_set_start(sax.get(), [](void*, const char* name, const VLK_KeyValues* attrs) {
              require(std::isalpha(static_cast<unsigned char>(name[0])) != 0);
              for (const char* p = name; *p != '\0'; ++p)
                require(std::isalpha(static_cast<unsigned char>(*p)) != 0 || *p == ':');
              for (size_t i = 0; i < VLK_KeyValues_size(attrs); ++i) {
                const char* key = VLK_KeyValues_get_key(attrs, i);
                require(std::isalpha(static_cast<unsigned char>(key[0])) != 0);
                for (const char* p = key; *p != '\0'; ++p)
                  require(std::isalnum(static_cast<unsigned char>(*p)) != 0);
                require(VLK_SAX_get_attr_value(attrs, key) != nullptr);
              }
            });
            VLK_SAX_set_end(sax.get(), [](void*, const char* name) {
              for (const char* p = name; *p != '\0'; ++p)
                require(std::isalpha(static_cast<unsigned char>(*p)) != 0 || *p == ':');
            });
            if (VLK_SAX_parse(sax.get(), fp, nullptr) != 0) {
              std::fprintf(VELK_ERR, "ERROR: the XML parser stopped at a syntax error\n");
              std::exit(1);
            }
          }};
}

// A network that holds together: labels on every node, each at its index, property keys on
// every drawing record, and the parent lists and the edges telling the same story.
void check_network(const VLK_Network* net) {
  const size_t n = VLK_Network_num_nodes(net);
  require(net->parents->size == n);
  size_t listed = 0;
  for (size_t i = 0; i < n; ++i) {
    const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
    require(node != nullptr && node->index == static_cast<int>(i) && node->network == net);
    require(node->name != nullptr && node->alias != nullptr);
    for (size_t j = 0; j < CSMLObject_num_properties(node->drawing); ++j)
      require(CSMLObject_get_property_key(node->drawing, j) != nullptr);
    const VLK_IntArray* parents = VLK_Network_get_parent_indexes(net, static_cast<int>(i));
    for (size_t k = 0; k < parents->size; ++k)
      require(VLK_Network_get_edge_index(net, parents->data[k], static_cast<int>(i)) != nullptr);
    listed += parents->size;
  }
  require(listed == VLK_Network_num_edges(net));
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    require(e->parent != nullptr && e->child != nullptr);
    require(VLK_Network_get_node(net, e->parent->index) == e->parent);
    require(VLK_Network_get_node(net, e->child->index) == e->child);
    for (size_t j = 0; j < VLK_Edge_get_property_size(e); ++j)
      require(VLK_Edge_get_property_key(e, j) != nullptr);
  }
}

// ---- round trips --------------------------------------------------------------------------

// The format of the round trip under way, if any: a child that ends during one reports it.
const char* g_round_trip = nullptr;

std::string value_text(const void* value, int type) {
  return vlk_test::capture([&](FILE* fp) { VLK_Type_fprint_value(value, type, fp); });
}

// A drawing record's properties as "key:type=text" entries, in key order: a file of columns
// per key keeps no order of a record's own. As CSML keeps them (`csml`): a double array is
// written without a type, which reads back as a string, and an edge's relationType and
// edgeScore are written for every edge, so they are left out.
std::string props_text(const CSMLObject* obj, bool csml = false, bool edge = false) {
  std::vector<std::string> entries;
  for (size_t j = 0; j < CSMLObject_num_properties(obj); ++j) {
    const VLK_Object* box = CSMLObject_get_property_value(obj, j);
    const std::string_view key = CSMLObject_get_property_key(obj, j);
    if (csml && edge && (key == "relationType" || key == "edgeScore")) continue;
    const int type = csml && box->type == VLK_TYPE_DOUBLEARRAY ? VLK_TYPE_STRING : box->type;
    entries.push_back(" " + std::string(key) + ":" + VLK_Type_name(type) + "=" +
                      value_text(box->value, box->type));
  }
  std::sort(entries.begin(), entries.end());
  std::string out;
  for (const std::string& e : entries) out += e;
  return out;
}

enum class Keeps { edges_by_name, lists, lists_and_properties, entities };

// What a format keeps of a network, as text: TXT the edges by name in edge order; VLK2 the
// nodes' names and aliases in order and every child's parent list; VLK3 also the properties of
// the nodes, of the edges (by child and parent list) and of the network; CSML the nodes' names,
// aliases, positions, fill colours, sizes and properties, and the edges in edge order with
// their properties.
std::string kept(const VLK_Network* net, Keeps keeps) {
  std::string out;
  const size_t n = VLK_Network_num_nodes(net);
  if (keeps == Keeps::edges_by_name || keeps == Keeps::entities) {
    const bool csml = keeps == Keeps::entities;
    for (size_t i = 0; csml && i < n; ++i) {
      const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
      char fill[CSMLObject_COLOR_EXPR_SIZE];
      CSMLObject_get_fill_color_expr(node->drawing, fill);
      out += vlk_test::capture([&](FILE* fp) {
        std::fprintf(fp, "%s|%s %f %f %s %f%s\n", node->name, node->alias, node->drawing->x,
                     node->drawing->y, fill, VLK_Node_get_size(node),
                     props_text(node->drawing, true).c_str());
      });
    }
    for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
      const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
      out += csml ? std::to_string(e->parent->index) + ">" + std::to_string(e->child->index) +
                        props_text(e->drawing, true, true) + "\n"
                  : std::string(e->parent->name) + ">" + e->child->name + "\n";
    }
    return out;
  }
  const bool props = keeps == Keeps::lists_and_properties;
  for (size_t i = 0; i < n; ++i) {
    const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
    out += std::string(node->name) + "|" + node->alias;
    if (props) out += props_text(node->drawing);
    out += "\n <-";
    const VLK_IntArray* parents = VLK_Network_get_parent_indexes(net, static_cast<int>(i));
    for (size_t k = 0; k < parents->size; ++k) {
      out += " " + std::to_string(parents->data[k]);
      if (props)
        out += props_text(
            VLK_Network_get_edge_index(net, parents->data[k], static_cast<int>(i))->drawing);
    }
    out += "\n";
  }
  if (props && net->properties != nullptr)
    for (size_t i = 0; i < VLK_KeyValues_size(net->properties); ++i) {
      const int type = VLK_KeyValues_get_type(net->properties, i);
      out += std::string("X ") + VLK_KeyValues_get_key(net->properties, i) + ":" +
             VLK_Type_name(type) + "=" +
             value_text(VLK_KeyValues_get_value(net->properties, i), type) + "\n";
    }
  return out;
}

// The formats that find nodes by name need every name once (their writers leave that to the
// caller); TXT writes only the nodes at the ends of edges.
bool unique_names(const VLK_Network* net, bool edge_ends_only) {
  std::vector<char> used(VLK_Network_num_nodes(net), edge_ends_only ? 0 : 1);
  for (size_t k = 0; edge_ends_only && k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    used[static_cast<size_t>(e->parent->index)] = used[static_cast<size_t>(e->child->index)] = 1;
  }
  std::set<std::string_view> names;
  for (size_t i = 0; i < used.size(); ++i)
    if (used[i] != 0 && !names.insert(VLK_Network_get_node(net, static_cast<int>(i))->name).second)
      return false;
  return true;
}

struct RoundTrip {
  const char* format;
  Keeps keeps;
  bool by_name;  // nodes found by name: every name once
  bool edge_ends_only;
};

constexpr RoundTrip kRoundTrips[] = {
    {"TXT", Keeps::edges_by_name, true, true},
    {"VLK2", Keeps::lists, true, false},
    {"VLK3", Keeps::lists_and_properties, false, false},
    {"CSML", Keeps::entities, false, false},
};

// Every format that keeps names writes the network, unless its writer refuses it, and reads back
// what it keeps of it unchanged. Their messages join VELK_ERR meanwhile.
void round_trips(const VLK_Network* net) {
  FILE* saved = stderr;
  stderr = VELK_ERR;
  for (const RoundTrip& t : kRoundTrips) {
    // What the writer refuses (the writers' tests pin those refusals) is not written.
    if (t.by_name && !unique_names(net, t.edge_ends_only)) continue;
    if (!vlk::io::write_problem(net, t.format).empty()) continue;
    g_round_trip = t.format;
    std::string text = vlk_test::capture(
        [&](FILE* fp) { require(IO_output_network_fp(fp, net, t.format, nullptr) == 0); });
    FILE* in = fmemopen(text.data(), text.size(), "r");
    VLK_Network* back = IO_read_fp(in, t.format, nullptr);
    std::fclose(in);
    require(back != nullptr);
    check_network(back);
    const std::string before = kept(net, t.keeps), after = kept(back, t.keeps);
    if (before != after) {
      std::fprintf(VELK_ERR, "--- %s kept ---\n%s--- read back ---\n%s--- file ---\n%s\n", t.format,
                   before.c_str(), after.c_str(), text.c_str());
      std::fflush(VELK_ERR);
      std::abort();
    }
    VLK_Network_delete(back);
    g_round_trip = nullptr;
  }
  stderr = saved;
}

Target csml_reader() {
  return {"csml",
          [](FILE* fp) {
            VLK_Network* net = VLK_CSML_read_fp(fp, nullptr);
            require(net != nullptr);
            check_network(net);
            round_trips(net);
            VLK_Network_delete(net);
          },
          false};
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

Target registry_reader(const char* format) {
  return {format,
          [=](FILE* fp) {
            const std::string path = "/proc/self/fd/" + std::to_string(fileno(fp));
            VLK_Network* net = IO_read_file(path.c_str(), format, nullptr);
            check_network(net);
            round_trips(net);
            const std::string first = network_text(format, net);
            VLK_Network_delete(net);
            const std::string second = reread(format, first);
            require(reread(format, second) == second);
          },
          false};  // a network ends at a line "-", and what follows is not read
}

// A network reader; its lines to the standard error stream join VELK_ERR, so that the child's
// standard error holds nothing but sanitizer reports.
Target network_reader(const std::string& name, std::string options,
                      VLK_Network* (*reader)(FILE*, const VLK_KeyValues*)) {
  return {name + " {" + options + "}",
          [=](FILE* fp) {
            VLK_KeyValues* list = VLK_KeyValues_parse(options.c_str());
            FILE* saved = stderr;
            stderr = VELK_ERR;
            VLK_Network* net = reader(fp, list);
            stderr = saved;
            if (net != nullptr) {
              check_network(net);
              round_trips(net);
            }
            VLK_Network_delete(net);
            VLK_KeyValues_delete(list);
          },
          false, true};
}

std::vector<std::string_view> lines_of(const std::string& err) {
  std::vector<std::string_view> lines;
  std::string_view rest = err;
  while (!rest.empty()) {
    const size_t p = rest.find('\n');
    lines.push_back(rest.substr(0, p));
    if (p == std::string_view::npos) break;
    rest.remove_prefix(p + 1);
  }
  return lines;
}

// The line a fatal path ends with: one of the readers' error lines, then the file's line when
// the reader was given its name.
bool ends_with_reader_error(const std::string& err, const std::string& file) {
  std::vector<std::string_view> lines = lines_of(err);
  if (!file.empty()) {
    if (lines.empty() || lines.back() != "  file: " + file) return false;
    lines.pop_back();
  }
  if (lines.empty()) return false;
  std::string_view last = lines.back();
  if (last.starts_with("              attr=") && lines.size() >= 2) last = lines[lines.size() - 2];
  if (last.starts_with("FATAL ERROR: VLK_CSML_get_CSML_type(): Unknown type: ")) return true;
  if (last.starts_with("ContPrior: ERROR: ")) return true;
  return last.starts_with("ERROR: ");
}

// A network reader's fatal path: an error line, then only indented details.
bool ends_with_network_error(const std::string& err) {
  const std::vector<std::string_view> lines = lines_of(err);
  size_t k = lines.size();
  while (k > 0 && lines[k - 1].starts_with("  ")) --k;
  return k > 0 && lines[k - 1].starts_with("ERROR: ");
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
          // A writer or reader that ends the process in a round trip refused what it should
          // have written, or could not read its own file.
          if (g_round_trip != nullptr) {
            std::fprintf(VELK_ERR, "the %s round trip ended the process\n", g_round_trip);
            status = 7;
          }
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
      // Every line reader reads every line, and a line holding a NUL byte is refused.
      if (targets[i]->refuses_nul) require(mutants[i].find('\0') == std::string::npos);
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

// How many of the mutants must be refused and how many read, as shares of all (1 in `refused`,
// 1 in `read`; 0: no bound): both outcomes must be common, or the mutants test little.
struct Mix {
  int refused = 10;
  int read = 10;
};

void fuzz(const std::vector<std::string>& seeds, const std::vector<Target>& targets, int count,
          unsigned seed, Mix mix = {}) {
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
    const bool stopped =
        end.exited && end.status == 1 &&
        (readers[end.last]->network ? ends_with_network_error(end.err)
                                    : ends_with_reader_error(end.err, readers[end.last]->file));
    // The line that stopped the reader also reaches standard error; nothing else may.
    const bool quiet = end.report.empty() || (stopped && end.err.ends_with(end.report));
    ASSERT_TRUE((clean || stopped) && quiet)
        << readers[end.last]->name << ", mutant " << end.last << ": exited " << end.exited
        << " status " << end.status << " signal " << end.signal << "\n--- input ---\n"
        << escaped(mutants[end.last]) << "\n--- VELK_ERR ---\n"
        << end.err << "--- stderr ---\n"
        << end.report;
    if (clean) break;
    ++refused;
    start = end.last + 1;
  }
  if (mix.refused > 0) {
    EXPECT_GT(refused, count / mix.refused);
  }
  if (mix.read > 0) {
    EXPECT_LT(refused, count - count / mix.read);
  }
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
      data_reader("matrix", Kind::matrix, "", reading(vlk::read_data_matrix, "in.txt"), "in.txt"),
  };
  const std::vector<std::string> seeds = {
      "g1\ta1\t1\t2\t3\ng2\ta2\t4\t5\t6\ng3\ta3\t7\t8\t9\n",
      "hdr\tx\tS1\tS2\nA__m__B\tz\t1.5\t-2\nC__m__D\tz\t3\t4e2\n",
      "g1,a1,1,2\nA__m__B,a2,3,4",
      "g1;a;b;1;2\ng2;a;b;3;4\n",
  };
  // Most mutations leave a value field that is no number, which the reader refuses.
  fuzz(seeds, targets, 700, 11, {.read = 20});
}

TEST(ReadersFuzz, DataMatrixWholeTable) {
  const std::vector<Target> targets = {
      data_reader("table", Kind::table, "cat", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "cat,h=1", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "trans", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "trans,h=1,l=1", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "trans,cat,l=0", VLK_DataMatrix_read_fp),
      data_reader("table", Kind::table, "trans,h=1", reading(vlk::read_data_matrix, "t.txt"),
                  "t.txt"),
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
      data_reader("edf", Kind::edf, "v", reading(vlk::read_edf, "in.edf"), "in.edf"),
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

TEST(ReadersFuzz, EdgeLists) {
  const std::vector<Target> targets = {
      network_reader("txt", "", TXT_read_fp),
      network_reader("txt", "ppi,w", TXT_read_fp),
      network_reader("txt", "selfloop=off,ch,w", TXT_read_fp),
      network_reader("palist", "", PALIST_read_fp),
      network_reader("palist", "ch", PALIST_read_fp),
  };
  const std::vector<std::string> seeds = {
      "a\tb\nb\tc\nc\ta\tx\na\ta\n",
      "p\tq\r\nq\tp\n\n#\tz\nz\tp\tq\t\n-\nr\ts\n",
  };
  // Only a NUL byte makes these readers refuse a file.
  fuzz(seeds, targets, 500, 55, {.refused = 0});
}

// Most mutants of these strict formats are refused: a twentieth read is enough.
constexpr Mix kStrict{.refused = 10, .read = 20};

TEST(ReadersFuzz, Dag) {
  const std::vector<Target> targets = {network_reader("dag", "", DAG_read_fp)};
  const std::vector<std::string> seeds = {
      "x y 0 gene_alpha gene_beta\na b c 1\n1\n\n\n\n\n\nx y 1\na b c 0\n\n\n\n\n\n\n",
      "x y 0\na b c 0\n\n4\n5\n6\n7\n\nx y 1 gene_gamma\na b c 2\n0 1\n\n\n\n\n\n",
  };
  fuzz(seeds, targets, 300, 66, kStrict);
}

TEST(ReadersFuzz, Txts) {
  fuzz({"3\t0\t5\n1\n2\t1\n-\n0\t1\n", "0\t1\t2\n2\t0\n"},
       {network_reader("txts", "", TXTS_read_fp)}, 250, 77, kStrict);
}

TEST(ReadersFuzz, Bsf) {
  fuzz({"\nA\nA\tB\nC\n", "Ba\tg\n\nA\tx\n-\nA\n"}, {network_reader("bsf", "", BSF_read_fp)}, 250,
       88, kStrict);
}

TEST(ReadersFuzz, Paraos) {
  fuzz({"paraos\t1\t4\ngene_alpha\t2\t3\ngene_beta\ngene_gamma\t0\t1\ngene_delta\t2\n",
        "paraos\t1\t2\nname_a\t1\nname_b\t0\n"},
       {network_reader("paraos", "", VLK_PARAOS_read_fp)}, 250, 99, kStrict);
}

TEST(ReadersFuzz, Vlk2) {
  const std::vector<Target> targets = {network_reader("vlk2", "", VLK2_read_fp)};
  const std::vector<std::string> seeds = {
      "Velk VLK2 FORMAT\n[Information]\nNodes\t3\n\n[Options]\n\n[Children]\na\tA\nb\t\n"
      "c\tC\n\n[Parents]\na\tA\tb\tw=1, t=x\tc\t\nb\t\nc\tC\ta\t\n",
  };
  // A broken file gives null; only a NUL byte in a node line stops the reader.
  fuzz(seeds, targets, 400, 111, {.refused = 0});
}

// The parser and the CSML reader on projects of the writer (both edge modes, place holders, a
// text area, names with markup characters) and on a hand-written one.
TEST(ReadersFuzz, CSML) {
  vlk::NetworkPtr net(VLK_Network_new());
  for (const char* name : {"g<1>", "g&2", "g3"})
    VLK_Network_add_node(net.get(), VLK_Node_new(name, name));
  VLK_Edge* e = VLK_Network_add_edge_index(net.get(), 0, 1);
  VLK_Edge_add_property_int(e, "EdgeType", 1);
  VLK_Edge_add_property_string(e, "note", "a \"b\"");
  VLK_Edge_add_property_double(VLK_Network_add_edge_index(net.get(), 2, 0), "edgeScore", 0.5);
  CSMLObject_add_property_int(VLK_Network_get_node(net.get(), 2)->drawing, "Count", 4);
  CSMLObject* text = CSMLObject_new();
  CSMLObject_add_property_string(text, "text", "note");
  VLK_Network_add_CSMLObject(net.get(), text);
  std::vector<std::string> seeds;
  {
    vlk_test::CaptureErr err;
    for (const char* options : {"", "edge=process,place_holder=on"}) {
      VLK_KeyValues* list = VLK_KeyValues_parse(options);
      seeds.push_back(vlk_test::capture([&](FILE* fp) { VLK_CSML_write_fp(fp, net.get(), list); }));
      VLK_KeyValues_delete(list);
    }
  }
  seeds.push_back(
      "<?xml version=\"1.0\"?><!-- c --><csml:project><csml:entity id=\"a\" name=\"A\">"
      "<csml:position x=\"1\" y=\"2\"/><fig:geneEntity fillColor=\"1 2 3 4\" size=\"5\"/>"
      "<csml:property key=\"k\" value=\"1\" type=\"integer\"/></csml:entity>"
      "<csml:entity id=\"b\"/><csml:fact type=\"cso30:f:DirectedRelation\">"
      "<csml:participant refID=\"a\" type=\"from\"/><csml:participant refID=\"b\" "
      "type=\"to\"/><fig:edge lineColor=\"9 9 9 9\"/><csml:property key=\"s\" value=\"-.5\" "
      "type=\"real\"/></csml:fact><csml:process><csml:connector refID=\"b\"></csml:connector>"
      "<csml:connector refID=\"a\"/><csml:comment/></csml:process></csml:project>\n");
  fuzz(seeds, {xml_parser(), csml_reader()}, 600, 55);
}

TEST(ReadersFuzz, VLK3) {
  const std::vector<Target> targets = {registry_reader("VLK3")};
  const std::vector<std::string> seeds = {
      "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tedgeScore:double\tFreq:double\tCount:int\n"
      "Node Attr\tCount:int\n\n[Nodes]\ngeneA\tA1\t0\t5\ngeneB\tB2\t1\t3\ngeneC\tC3\t2\t5\n\n"
      "[Edges]\n0\t1\t0.750000\t0.750000\t4\n2\t1\t0.500000\t0.500000\t3\n"
      "0\t2\t0.250000\t0.250000\t7\n",
      "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tw:double\tlabel\nX:title:string\tnet\n"
      "X:n:int\t4\nNode Attr\tkind:str\tsize:integer\n[Nodes]\na\tA\t0\tleaf\t3\nb\tB\t1\n"
      "c\tC\t2\t\t5\n[Edges]\n0\t1\t0.5\tfirst\n1\t2\n2\t0\t\tx\n-\nafter\n",
      "Velk VLK3 FORMAT\n[Information]\n[Nodes]\nx\tX\t0\ny\tY\t1\n[Edges]\n1\t0\n0\t1",
      // Numbers that are not finite, which CSML cannot carry.
      "Velk VLK3 FORMAT\n[Information]\nEdge Attr\tw:double\nNode Attr\tz:double\n[Nodes]\n"
      "a\tA\t0\t1.5\nb\tB\t1\tinf\n[Edges]\n0\t1\tnan\n1\t0\t2\n",
  };
  fuzz(seeds, targets, 800, 55);
}

// The matrix prior file of the prior-knowledge score, read over three nodes: every cell keeps
// its undefined value or takes a finite one.
TEST(ReadersFuzz, ContPriorMatrix) {
  const Target matrix{"contprior matrix", [](FILE* fp) {
                        VLK_Data* d = VLK_Data_new();
                        for (const char* name : {"g0", "g1", "g2"}) {
                          VLK_StrArray_add_copy(d->names, name);
                          VLK_StrArray_add_copy(d->aliases, name);
                        }
                        d->p = 3;
                        std::vector<double> cells(9, 1234.5);
                        double* rows[3] = {&cells[0], &cells[3], &cells[6]};
                        // The reader opens a path: the stream's own file.
                        const std::string path = "/proc/self/fd/" + std::to_string(fileno(fp));
                        ContPrior_read_matrix(d, path.c_str(), rows);
                        for (double x : cells) require(std::isfinite(x));
                        VLK_Data_delete(d);
                      }};
  const std::vector<std::string> seeds = {
      "\tg0\tg1\tg2\ng0\t1\t2\t3\ng1\t-1\t0.5\t2\ng2\t0\t0\t1e-3\n",
      "x\tg2\tgX\tg0\ngY\t1\t2\ng2\t3\t\t4\t5\n\ng0\t-2.5e1\n",
  };
  fuzz(seeds, {matrix}, 500, 66);
}

}  // namespace
