#include "evaluation/reference.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "VLK_IO.h"
#include "VLK_Network.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"

namespace {

// A node index field of an edge line, as the reader takes it.
bool index_field(const char* field, int* out) {
  return vlk::io::parse_index(field, vlk::io::kMaxIndexedNodes, out) == vlk::io::Index::ok;
}

void check_module_file(const Args* a) {
  errno = 0;
  const vlk::FilePtr fp(std::fopen(a->module_file, "r"));
  if (fp == nullptr)
    vlk::fatal("ERROR: --compare-module: cannot open %s: %s\n", a->module_file,
               std::strerror(errno));
  struct stat st {};
  if (fstat(fileno(fp.get()), &st) == 0 && S_ISDIR(st.st_mode))
    vlk::fatal("ERROR: --compare-module: %s is a directory, not a file\n", a->module_file);
}

}  // namespace

std::string vlk::eval::reference_edge_problem(const char* path) {
  const vlk::FilePtr fp(std::fopen(path, "r"));
  if (fp == nullptr) return {};
  vlk::LineBuffer buf;
  if (!buf.read_lf(fp.get())) return {};
  // The sections as the reader moves through them; only the edge lines are looked at.
  const char* const headers[] = {"[Information]", "[Nodes]", "[Edges]"};
  size_t section = 0;
  std::unordered_map<std::uint64_t, size_t> first_line;
  std::vector<char*> fields;
  for (size_t line_no = 2; buf.read_lf(fp.get()); ++line_no) {
    char* line = VLK_Str_trim(buf.data);
    if (*line == '\0') continue;
    if (std::strcmp(line, "-") == 0) break;
    if (section < 3) {
      if (std::strcmp(line, headers[section]) == 0) ++section;
      continue;
    }
    vlk::io::cut_fields(line, fields);
    int pa = -1, ch = -1;
    if (fields.size() < 2 || !index_field(fields[0], &pa) || !index_field(fields[1], &ch)) continue;
    char text[256];
    if (pa == ch) {
      std::snprintf(text, sizeof text, "line %zu holds the self-loop %d -> %d", line_no, pa, ch);
    } else {
      const auto key = static_cast<std::uint64_t>(pa) << 32 | static_cast<std::uint32_t>(ch);
      const auto [at, fresh] = first_line.emplace(key, line_no);
      if (fresh) continue;
      std::snprintf(text, sizeof text, "line %zu repeats the edge %d -> %d of line %zu", line_no,
                    pa, ch, at->second);
    }
    return "ERROR: the compare file " + std::string(path) + ": " + text +
           "; the evaluation counts each edge between two genes once\n";
  }
  return {};
}

void read_reference(Args* a) {
  if (a->module_file != nullptr) check_module_file(a);
  if (a->module_file != nullptr && a->rank == 0)
    std::fprintf(VELK_ERR,
                 "WARNING: --compare-module %s: no step of the run compares modules; the file "
                 "is not used\n",
                 a->module_file);
  if (a->reference_file == nullptr) return;
  std::fprintf(VELK_ERR, "Reading the compare file: %s\n", a->reference_file);
  a->reference = IO_read_file(a->reference_file, "VLK3", nullptr);
  if (a->reference == nullptr)
    vlk::fatal("ERROR: Failed to read the compare file: %s\n", a->reference_file);
  const size_t nodes = VLK_Network_num_nodes(a->reference);
  if (nodes != static_cast<size_t>(a->nodes))
    vlk::fatal(
        "ERROR: the compare file %s has %zu nodes and the input data %d genes; its nodes are "
        "taken as the genes in their order\n",
        a->reference_file, nodes, a->nodes);
  const std::string problem = vlk::eval::reference_edge_problem(a->reference_file);
  if (!problem.empty()) vlk::fatal("%s", problem.c_str());
}
