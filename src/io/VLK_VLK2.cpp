#include "VLK_VLK2.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "VLK_IO.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"

namespace {

constexpr const char* kFirstLine = "Velk VLK2 FORMAT";

using vlk::or_empty;

// Blanks, TABs and line ends go at the start, blanks and line ends only at the end: a node with
// an empty alias is written "name<TAB>", and that TAB keeps the alias field.
char* trimmed(char* s) {
  while (*s == ' ' || *s == '\t' || *s == '\n') ++s;
  char* e = s + std::strlen(s);
  while (e > s && (e[-1] == ' ' || e[-1] == '\n')) --e;
  *e = '\0';
  return s;
}

// What both formats write: after `children` a line "name<TAB>alias" per node, after `parents`
// the same lines continued, for every parent in list order, by "<TAB>parent name<TAB>" and what
// `edge_text` writes of the edge.
template <class EdgeText>
void write_lists(FILE* fp, const VLK_Network* net, const char* children, const char* parents,
                 EdgeText edge_text) {
  const size_t n = VLK_Network_num_nodes(net);
  std::fputs(children, fp);
  for (size_t i = 0; i < n; ++i) {
    const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
    std::fprintf(fp, "%s\t%s\n", or_empty(node->name), or_empty(node->alias));
  }
  std::fputs(parents, fp);
  for (size_t i = 0; i < n; ++i) {
    const int child = static_cast<int>(i);
    const VLK_Node* node = VLK_Network_get_node(net, child);
    std::fprintf(fp, "%s\t%s", or_empty(node->name), or_empty(node->alias));
    const VLK_IntArray* list = VLK_Network_get_parent_indexes(net, child);
    for (size_t k = 0; k < list->size; ++k) {
      const int parent = list->data[k];
      std::fprintf(fp, "\t%s\t", or_empty(VLK_Network_node_name(net, parent)));
      edge_text(VLK_Network_get_edge_index(net, parent, child));
    }
    std::fputc('\n', fp);
  }
}

// The property texts stand between the parent names of a [Parents] line: a TAB or a line end
// in one would make the reader take a piece of it for a parent's name.
std::string property_problem(const VLK_Network* net) {
  std::string text;
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    for (size_t j = 0; j < VLK_Edge_get_property_size(e); ++j) {
      const char* key = VLK_Edge_get_property_key(e, j);
      if (!vlk::io::value_text(VLK_Edge_get_property_value(e, j), VLK_Edge_get_property_type(e, j),
                               &text))
        text.clear();
      if (std::strpbrk(or_empty(key), "\t\n") == nullptr &&
          text.find_first_of("\t\n") == std::string::npos)
        continue;
      return "ERROR: VLK2: cannot write the edge " + vlk::io::printable(or_empty(e->parent->name)) +
             " -> " + vlk::io::printable(or_empty(e->child->name)) + ": its property \"" +
             vlk::io::printable(or_empty(key)) +
             "\" holds a TAB or a line end, and the parents line would not read back\n";
    }
  }
  return {};
}

class Reader {
 public:
  explicit Reader(FILE* fp) : fp_(fp) {}

  VLK_Network* read() {
    if (!buf_.read_lf(fp_) || std::strcmp(buf_.data, kFirstLine) != 0) return nullptr;
    line_ = 1;
    while (buf_.read_lf(fp_)) {
      ++line_;
      // Node and parents lines are read; what stands around them is not, whatever it holds.
      if (state_ == State::children || state_ == State::parents) vlk::check_no_nul(buf_, line_);
      char* line = trimmed(buf_.data);
      if (*line == '\0') continue;
      if (!take(line)) return nullptr;
    }
    if (state_ != State::done) {
      vlk::report("ERROR: VLK2: file broken\n");
      return nullptr;
    }
    return net_.release();
  }

 private:
  enum class State { before, information, options, children, parents, done };

  // One trimmed, non-empty line; false when the file is refused.
  bool take(char* line) {
    switch (state_) {
      case State::before:
        if (std::strcmp(line, "[Information]") == 0) state_ = State::information;
        return true;
      case State::information:
        if (std::strcmp(line, "[Options]") == 0) state_ = State::options;
        return true;
      case State::options:
        if (std::strcmp(line, "[Children]") == 0) state_ = State::children;
        return true;
      case State::children:
        if (std::strcmp(line, "[Parents]") == 0) {
          const size_t n = VLK_Network_num_nodes(net_.get());
          std::fprintf(VELK_ERR, "VLK2: Read %d nodes.\n", static_cast<int>(n));
          seen_.assign(n, 0);
          // A network without nodes has no parents lines to wait for.
          state_ = n == 0 ? State::done : State::parents;
          return true;
        }
        return child(line);
      case State::parents:
        return parents(line);
      case State::done:
        return true;
    }
    return true;
  }

  bool fields_of(char* line) {
    vlk::io::cut_fields(line, fields_);
    if (fields_.size() >= 2) return true;
    vlk::report("ERROR: VLK2: requires two names at line %zu.\n", line_);
    return false;
  }

  bool child(char* line) {
    if (!fields_of(line)) return false;
    VLK_Network_add_node(net_.get(), VLK_Node_new(fields_[0], fields_[1]));
    return true;
  }

  // The node of a [Parents] name, first match; -1 after the message when none has it.
  int node_of(const char* name) {
    const int i = VLK_Network_find_node_index(net_.get(), name);
    if (i < 0) vlk::report("ERROR: VLK2: unknown genens found in [Parent] section: %s\n", name);
    return i;
  }

  bool parents(char* line) {
    if (!fields_of(line)) return false;
    const int node = node_of(fields_[0]);
    if (node < 0) return false;
    seen_[static_cast<size_t>(node)] = 1;
    // Parent names stand in every other field from the third on, each before its properties.
    for (size_t k = 2; k < fields_.size(); k += 2) {
      const int parent = node_of(fields_[k]);
      if (parent < 0) return false;
      VLK_Network_add_edge_index(net_.get(), parent, node);
    }
    if (++parent_lines_ < seen_.size()) return true;
    if (std::find(seen_.begin(), seen_.end(), 0) != seen_.end()) {
      vlk::report("ERROR: VLK2: file broken.\n");
      return false;
    }
    state_ = State::done;
    return true;
  }

  FILE* fp_;
  vlk::LineBuffer buf_;
  size_t line_ = 0;
  State state_ = State::before;
  vlk::NetworkPtr net_{VLK_Network_new()};
  std::vector<char> seen_;  // per node: its parents line was read
  size_t parent_lines_ = 0;
  std::vector<char*> fields_;
};

}  // namespace

int VLK2_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* /*options*/) {
  vlk::io::refuse(vlk::io::vlk2_write_problem(net, nullptr));
  std::fprintf(fp, "%s\n[Information]\nNodes\t%zu\nEdge Info\tgain\tbspline\n\n[Options]\n\n",
               kFirstLine, VLK_Network_num_nodes(net));
  write_lists(fp, net, "[Children]\n", "\n[Parents]\n",
              [fp](const VLK_Edge* e) { VLK_Edge_print_properties(e, fp); });
  return vlk::io::stream_result(fp);
}

std::string vlk::io::vlk2_write_problem(const VLK_Network* net, const VLK_KeyValues* /*options*/) {
  // Lines are trimmed when read: the name comes first, the alias ends the [Children] line.
  constexpr FieldRules kAlias{.may_be_empty = true, .trailing_trimmed = true};
  std::string problem = name_problem(net, "VLK2", {.leading_trimmed = true}, &kAlias);
  return problem.empty() ? property_problem(net) : problem;
}

VLK_Network* VLK2_read_fp(FILE* fp, const VLK_KeyValues* /*options*/) { return Reader(fp).read(); }

VLK_Network* VLK2_read_file(const char* path, const VLK_KeyValues* options) {
  return vlk::io::read_path(path, options, VLK2_read_fp,
                            "VLK2_read_file(): cannot open file: %s\n");
}

int VLK_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* /*options*/) {
  const char* key = VLK_Network_get_primary_score(net);
  bool warned = false;
  write_lists(fp, net, "Children\nGene Name\tGene Explanation\tChildren Gene Names\n",
              "\nParents\nGene Name\tGene Explanation\tParents Gene Names\n",
              [&](const VLK_Edge* e) {
                if (key != nullptr && VLK_Edge_print_property_value(e, key, fp) != 0) return;
                std::fputs("0.0", fp);
                if (warned) return;
                warned = true;
                if (key != nullptr)
                  std::fprintf(VELK_ERR, "WARNING: VLK: cannot find key: %s.\n", key);
                else
                  std::fprintf(VELK_ERR, "WARNING: VLK: the network has no primary score key.\n");
              });
  return vlk::io::stream_result(fp);
}
