#include "VLK_VLK3.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "CSMLObject.h"
#include "VLK_DoubleArray.h"
#include "VLK_IO.h"
#include "VLK_Object.h"
#include "VLK_Str.h"
#include "VLK_Type.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"
#include "vlk_owned.h"

namespace {

constexpr const char* kFirstLine = "Velk VLK3 FORMAT";

using IntArrayPtr = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;
using StrArrayPtr = vlk::Owned<VLK_StrArray, VLK_StrArray_delete_all>;

using vlk::or_empty;

// ---- reading ---------------------------------------------------------------------------------

// Declared attributes of one kind: a type id and a key per value field, in field order.
struct Declared {
  IntArrayPtr types{VLK_IntArray_new()};
  StrArrayPtr keys{VLK_StrArray_new()};
  size_t size() const { return keys->size; }
};

// A node index given in a field: a decimal int, blanks around it allowed, naming one of the
// `nodes` nodes read so far.
bool node_index(const char* field, size_t nodes, int* out) {
  std::string_view s(field);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  int v = -1;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v < 0 || static_cast<size_t>(v) >= nodes)
    return false;
  *out = v;
  return true;
}

// The types whose values the writer prints as the reader reads them: of the types the reader
// takes, uint and float have no text form in the registry.
bool reads_back(int type) {
  return type == VLK_TYPE_INT || type == VLK_TYPE_DOUBLE || type == VLK_TYPE_STRING ||
         type == VLK_TYPE_DOUBLEARRAY;
}

class Reader {
 public:
  explicit Reader(FILE* fp) : fp_(fp) {}

  VLK_Network* read() {
    if (!buf_.read_lf(fp_)) return nullptr;
    line_no_ = 1;
    if (cut_short() || std::strcmp(buf_.data, kFirstLine) != 0) return nullptr;
    net_.reset(VLK_Network_new());
    while (buf_.read_lf(fp_)) {
      ++line_no_;
      if (cut_short()) return nullptr;
      char* line = VLK_Str_trim(buf_.data);
      if (*line == '\0') continue;
      if (std::strcmp(line, "-") == 0) break;
      if (!take(line)) return nullptr;
    }
    std::fprintf(VELK_ERR, "  In total %d nodes and %d edges added.\n",
                 static_cast<int>(VLK_Network_num_nodes(net_.get())),
                 static_cast<int>(VLK_Network_num_edges(net_.get())));
    if (edge_.size() > 0) VLK_Network_set_primary_score(net_.get(), edge_.keys->data[0]);
    return net_.release();
  }

 private:
  enum class Section { before, information, nodes, edges };

  // One trimmed, non-empty line; false when the file is refused.
  bool take(char* line) {
    switch (section_) {
      case Section::before:
        if (std::strcmp(line, "[Information]") == 0) section_ = Section::information;
        return true;
      case Section::information:
        if (std::strcmp(line, "[Nodes]") == 0) {
          section_ = Section::nodes;
          return true;
        }
        return information(line);
      case Section::nodes:
        if (std::strcmp(line, "[Edges]") == 0) {
          section_ = Section::edges;
          return true;
        }
        return node(line);
      case Section::edges:
        return edge(line);
    }
    return true;
  }

  bool refuse(const char* what, const char* field = nullptr) {
    if (field != nullptr)
      vlk::report("ERROR: VLK3: line %zu: %s: \"%s\"\n", line_no_, what, field);
    else
      vlk::report("ERROR: VLK3: line %zu: %s\n", line_no_, what);
    return false;
  }

  // A NUL byte would end the line early: what follows it would be lost without a word.
  bool cut_short() { return buf_.holds_nul() && !refuse("a NUL byte in the line"); }

  bool information(const char* line) {
    const StrArrayPtr fields(VLK_Str_split(line, '\t'));
    const char* first = fields->data[0];
    if (std::strcmp(first, "Edge Attr") == 0) {
      return declare("Edge", fields.get(), edge_);
    } else if (std::strcmp(first, "Node Attr") == 0) {
      return declare("Node", fields.get(), node_);
    } else if (std::strncmp(first, "X:", 2) == 0) {
      const int r = VLK3_parse_network_prop(net_.get(), fields.get());
      if (r == 2) return refuse("network property without a value", line);
      if (r == 3) return refuse("a network property of a type no writer can print", first);
      if (r == 1)
        std::fprintf(VELK_ERR, "WARNING: VLK3: VLK_Network property format broken: \"%s\"\n", line);
    }
    return true;
  }

  // The declarations of one attribute line. Types the registry can read but not print (uint,
  // float) are refused here: read, they would end every writer.
  bool declare(const char* label, const VLK_StrArray* fields, Declared& d) {
    const size_t before = d.size();
    VLK3_parse_attr(label, fields, d.types.get(), d.keys.get());
    for (size_t j = before; j < d.size(); ++j)
      if (!reads_back(d.types->data[j]))
        return refuse("an attribute of a type no writer can print", fields->data[1 + j - before]);
    return true;
  }

  bool node(char* line) {
    vlk::io::cut_fields(line, fields_);
    if (fields_.size() < 2) return refuse("a node line needs a name and an alias", line);
    vlk::NodePtr owned(VLK_Node_new(fields_[0], fields_[1]));
    VLK_Node* node = owned.get();
    if (vlk::add_node(net_.get(), owned) == nullptr) return refuse("out of memory");
    // Values from the fourth field on; the index field is not read (nodes count in file order).
    for (size_t j = 0; j < node_.size() && 3 + j < fields_.size(); ++j) {
      const char* value = fields_[3 + j];
      if (*value == '\0') continue;  // the node lacks this attribute
      CSMLObject_add_property(node->drawing, node_.keys->data[j],
                              VLK_Object_new_by_string(value, node_.types->data[j]));
    }
    return true;
  }

  bool edge(char* line) {
    vlk::io::cut_fields(line, fields_);
    if (fields_.size() < 2) return refuse("an edge line needs a parent and a child", line);
    const size_t nodes = VLK_Network_num_nodes(net_.get());
    int pa = -1, ch = -1;
    if (!node_index(fields_[0], nodes, &pa))
      return refuse("the parent is not the index of a node read before", fields_[0]);
    if (!node_index(fields_[1], nodes, &ch))
      return refuse("the child is not the index of a node read before", fields_[1]);
    VLK_Edge* e = VLK_Network_add_edge_index(net_.get(), pa, ch);  // a repeated pair: the same
    if (e == nullptr) return refuse("out of memory");
    for (size_t j = 0; j < edge_.size() && 2 + j < fields_.size(); ++j) {
      const char* value = fields_[2 + j];
      if (*value == '\0') continue;  // the edge lacks this attribute
      const int type = edge_.types->data[j];
      VLK_Edge_add_property(e, edge_.keys->data[j], VLK_Type_from_str(type, value, nullptr), type);
    }
    return true;
  }

  FILE* fp_;
  vlk::LineBuffer buf_;
  size_t line_no_ = 0;
  Section section_ = Section::before;
  vlk::NetworkPtr net_;
  Declared edge_, node_;
  std::vector<char*> fields_;
};

// ---- writing ---------------------------------------------------------------------------------

// Attribute keys in order of first occurrence, each with the type of that occurrence.
class Keys {
 public:
  void collect(const CSMLObject* obj) {
    const VLK_KeyObjects* props = obj->properties;
    for (size_t i = 0; props != nullptr && i < VLK_KeyObjects_size(props); ++i) {
      const char* key = VLK_KeyObjects_get_key(props, i);
      // Objects mostly hold the keys already declared, in the same order.
      if (i < keys_.size() && std::strcmp(key, keys_[i].first) == 0) continue;
      if (seen_.insert(key).second) keys_.emplace_back(key, VLK_KeyObjects_get_type(props, i));
    }
  }
  // "<label>" and a "\t<key>:<type>" field per key, when there are any.
  void declare(FILE* fp, const char* label) const {
    if (keys_.empty()) return;
    std::fputs(label, fp);
    for (const auto& [key, type] : keys_) std::fprintf(fp, "\t%s:%s", key, VLK_Type_name(type));
    std::fputc('\n', fp);
  }
  // A "\t" and the object's value per key (nothing after the TAB when it lacks the key).
  void values(FILE* fp, const CSMLObject* obj) const {
    const VLK_KeyObjects* props = obj->properties;
    const size_t held = props != nullptr ? VLK_KeyObjects_size(props) : 0;
    size_t i = 0;
    // While the object's keys are the declared ones in order (the usual case), entry i is the
    // first of its key: no lookup by name.
    for (; i < keys_.size() && i < held &&
           std::strcmp(VLK_KeyObjects_get_key(props, i), keys_[i].first) == 0;
         ++i) {
      std::fputc('\t', fp);
      if (const VLK_Object* box = VLK_KeyObjects_get_const_value(props, i))
        VLK_Object_fprint(box, fp);
    }
    for (; i < keys_.size(); ++i) {
      std::fputc('\t', fp);
      CSMLObject_fprint_property_value(obj, keys_[i].first, fp);
    }
  }

 private:
  std::vector<std::pair<const char*, int>> keys_;
  std::unordered_set<std::string_view> seen_;
};

// The edges of every child in the network's edge order, which is the order of the child's
// parent list: one pass over the edges instead of a pair lookup per edge.
class EdgesByChild {
 public:
  explicit EdgesByChild(const VLK_Network* net) : net_(net) {
    const size_t n = VLK_Network_num_nodes(net);
    const size_t m = VLK_Network_num_edges(net);
    std::vector<int> child(m);
    start_.assign(n + 1, 0);
    for (size_t k = 0; k < m; ++k) {
      child[k] = VLK_Network_get_edge(net, static_cast<int>(k))->child->index;
      ++start_[static_cast<size_t>(child[k]) + 1];
    }
    for (size_t j = 0; j < n; ++j) start_[j + 1] += start_[j];
    edges_.resize(m);
    std::vector<size_t> fill(start_.begin(), start_.end() - 1);
    for (size_t k = 0; k < m; ++k) {
      const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
      edges_[fill[static_cast<size_t>(child[k])]++] = {e, e->parent->index};
    }
  }
  // The edge from `parent`, k-th in the parent list of `child`.
  const VLK_Edge* edge(size_t child, size_t k, int parent) const {
    const size_t at = start_[child] + k;
    if (at < start_[child + 1] && edges_[at].parent == parent) return edges_[at].edge;
    return VLK_Network_get_edge_index(net_, parent, static_cast<int>(child));  // lists reordered
  }

 private:
  struct Entry {
    const VLK_Edge* edge;
    int parent;
  };
  const VLK_Network* net_;
  std::vector<size_t> start_;
  std::vector<Entry> edges_;
};

}  // namespace

VLK_Network* VLK3_read_fp(FILE* fp, const VLK_KeyValues* /*options*/) {
  std::fprintf(VELK_ERR, "Reading a VLK3 network file...\n");
  return Reader(fp).read();
}

VLK_Network* VLK3_read_file(const char* path, const VLK_KeyValues* options) {
  return vlk::io::read_path(path, options, VLK3_read_fp,
                            "VLK3_read_file(): cannot open file: %s\n");
}

int VLK3_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* /*options*/) {
  std::fprintf(VELK_ERR, "Writing a network in VLK3 format...\n");
  vlk::io::refuse(vlk::io::vlk3_write_problem(net, nullptr));
  const size_t n = VLK_Network_num_nodes(net);
  const size_t m = VLK_Network_num_edges(net);
  Keys edge_keys, node_keys;
  for (size_t k = 0; k < m; ++k)
    edge_keys.collect(VLK_Network_get_edge(net, static_cast<int>(k))->drawing);
  for (size_t i = 0; i < n; ++i)
    node_keys.collect(VLK_Network_get_node(net, static_cast<int>(i))->drawing);

  std::fprintf(fp, "%s\n[Information]\n", kFirstLine);
  edge_keys.declare(fp, "Edge Attr");
  node_keys.declare(fp, "Node Attr");
  if (const VLK_KeyValues* props = net->properties) {
    for (size_t i = 0; i < VLK_KeyValues_size(props); ++i) {
      const int type = VLK_KeyValues_get_type(props, i);
      std::string value;
      if (!vlk::io::value_text(VLK_KeyValues_get_value(props, i), type, &value)) return 1;
      std::fprintf(fp, "X:%s:%s\t%s\n", VLK_KeyValues_get_key(props, i), VLK_Type_name(type),
                   value.c_str());
    }
  }

  std::fprintf(fp, "\n[Nodes]\n");
  for (size_t i = 0; i < n; ++i) {
    const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
    std::fprintf(fp, "%s\t%s\t%d", or_empty(node->name), or_empty(node->alias),
                 static_cast<int>(i));
    node_keys.values(fp, node->drawing);
    std::fputc('\n', fp);
  }

  std::fprintf(fp, "\n[Edges]\n");
  const EdgesByChild by_child(net);
  for (size_t j = 0; j < n; ++j) {
    const int child = static_cast<int>(j);
    const VLK_IntArray* parents = VLK_Network_get_parent_indexes(net, child);
    for (size_t k = 0; k < parents->size; ++k) {
      const int parent = parents->data[k];
      std::fprintf(fp, "%d\t%d", parent, child);
      edge_keys.values(fp, by_child.edge(j, k, parent)->drawing);
      std::fputc('\n', fp);
    }
  }
  return vlk::io::stream_result(fp);
}

namespace {

// Why a key of the information lines would not read back, or null: attribute keys end at ':'
// ("key:type"), as do network property keys ("X:key:type").
const char* key_problem(std::string_view key) {
  return key.find_first_of("\t\n:") == std::string_view::npos
             ? nullptr
             : "its key holds a TAB, a line end or a ':'";
}

// Why a value in a TAB-separated field of a trimmed line would not read back, or null: an empty
// field is an absent value, and blanks at the end of the line are trimmed.
const char* value_problem(const void* value, int type) {
  if (value == nullptr) return "its value is missing, which reads back as an absent one";
  if (type == VLK_TYPE_DOUBLEARRAY && static_cast<const VLK_DoubleArray*>(value)->size == 0)
    return "its value is an empty list, which reads back as an absent one";
  if (type != VLK_TYPE_STRING) return nullptr;
  const std::string_view s(static_cast<const char*>(value));
  if (s.empty()) return "its value is an empty string, which reads back as an absent one";
  if (s.find_first_of("\t\n") != std::string_view::npos)
    return "its value holds a TAB or a line end";
  if (s.back() == ' ') return "its value ends with a blank, which the reader may trim";
  return nullptr;
}

// The first attribute of the records (nodes or edges) that would not read back: one type per key
// is declared, and one value field per key is written.
template <class Record, class Label>
std::string attribute_problem(size_t count, Record record, const char* kind, Label label) {
  std::unordered_map<std::string_view, int> declared;
  std::unordered_set<std::string_view> here;
  for (size_t r = 0; r < count; ++r) {
    const CSMLObject* obj = record(r);
    here.clear();
    for (size_t i = 0; i < CSMLObject_num_properties(obj); ++i) {
      const std::string_view key = or_empty(CSMLObject_get_property_key(obj, i));
      const VLK_Object* box = CSMLObject_get_property_value(obj, i);
      const int type = box->type;
      const auto [at, first] = declared.emplace(key, type);
      const char* why = key_problem(key);
      if (why == nullptr && !reads_back(type))
        why = "its type has no text form the reader reads back";
      if (why == nullptr && at->second != type) why = "its type differs from the one declared";
      if (why == nullptr && !here.insert(key).second) why = "it comes twice";
      if (why == nullptr) why = value_problem(box->value, type);
      if (why == nullptr) continue;
      return "ERROR: VLK3: cannot write the " + std::string(kind) + " attribute \"" +
             vlk::io::printable(key) + "\" (" + VLK_Type_name(type) + ") of " + label(r) + ": " +
             why + "\n";
    }
  }
  return {};
}

std::string network_property_problem(const VLK_KeyValues* props) {
  for (size_t i = 0; props != nullptr && i < VLK_KeyValues_size(props); ++i) {
    const std::string_view key = or_empty(VLK_KeyValues_get_key(props, i));
    const int type = VLK_KeyValues_get_type(props, i);
    const void* value = VLK_KeyValues_get_value(props, i);
    const char* why = key_problem(key);
    if (why == nullptr && !reads_back(type))
      why = "its type has no text form the reader reads back";
    std::string text;
    if (why == nullptr && (value == nullptr || !vlk::io::value_text(value, type, &text)))
      why = "it has no value";
    // The value ends the line, which is trimmed, and the reader needs one.
    size_t first = 0, end = text.size();
    VLK_Str_trim2(text.c_str(), &first, &end);
    if (why == nullptr && text.find_first_of("\t\n") != std::string::npos)
      why = "its value holds a TAB or a line end";
    if (why == nullptr && (first == end || end != text.size()))
      why = "its value is empty or ends with a blank, which the reader trims";
    if (why != nullptr)
      return "ERROR: VLK3: cannot write the network property \"" + vlk::io::printable(key) +
             "\": " + why + "\n";
  }
  return {};
}

}  // namespace

std::string vlk::io::vlk3_write_problem(const VLK_Network* net, const VLK_KeyValues* /*options*/) {
  // Node lines are trimmed when read, and the name comes first.
  constexpr FieldRules kAlias{.may_be_empty = true};
  std::string problem = name_problem(net, "VLK3", {.leading_trimmed = true}, &kAlias);
  if (!problem.empty()) return problem;
  problem = attribute_problem(
      VLK_Network_num_nodes(net),
      [net](size_t i) { return VLK_Network_get_node(net, static_cast<int>(i))->drawing; }, "node",
      [](size_t i) { return "node " + std::to_string(i) + " (counted from 0)"; });
  if (!problem.empty()) return problem;
  problem = attribute_problem(
      VLK_Network_num_edges(net),
      [net](size_t k) { return VLK_Network_get_edge(net, static_cast<int>(k))->drawing; }, "edge",
      [net](size_t k) {
        const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
        return "the edge " + std::to_string(e->parent->index) + " -> " +
               std::to_string(e->child->index);
      });
  return problem.empty() ? network_property_problem(net->properties) : problem;
}

int VLK3_write_file(const char* path, const VLK_Network* net, const VLK_KeyValues* options) {
  return vlk::io::write_path(path, net, options, VLK3_write_fp,
                             "VLK3_write_file(): cannot open file: %s\n");
}

int VLK3_write_graph_fp(FILE* fp, const VLK_Graph* /*g*/, const VLK_KeyValues* /*options*/) {
  std::fprintf(VELK_ERR, "Writing a graph in VLK3 format...\n");
  std::fflush(VELK_ERR);
  std::fprintf(fp, "%s\n[Information]\n\n", kFirstLine);
  return vlk::io::stream_result(fp);
}

void VLK3_parse_attr(const char* label, const VLK_StrArray* fields, VLK_IntArray* types,
                     VLK_StrArray* keys) {
  std::fprintf(VELK_ERR, "  %s Attributes:", label);
  for (size_t i = 1; i < fields->size; ++i) {
    // key:type; a further ':' ends the type.
    const std::string_view field(fields->data[i]);
    const size_t colon = field.find(':');
    const std::string key(field.substr(0, colon));
    int type = VLK_TYPE_STRING;
    if (colon != std::string_view::npos) {
      const std::string_view rest = field.substr(colon + 1);
      const std::string name(rest.substr(0, rest.find(':')));
      std::fprintf(VELK_ERR, " %s (%s)", key.c_str(), name.c_str());
      type = VLK_Type_get(name.c_str());
      if (type == VLK_TYPE_ERROR) type = VLK_TYPE_STRING;
    } else {
      std::fprintf(VELK_ERR, " %s (%s)", key.c_str(), VLK_Type_name(type));
    }
    VLK_IntArray_add(types, type);
    VLK_StrArray_add_copy(keys, key.c_str());
  }
  std::fprintf(VELK_ERR, "\n");
}

int VLK3_parse_network_prop(VLK_Network* net, const VLK_StrArray* fields) {
  const StrArrayPtr parts(VLK_Str_split(fields->data[0], ':'));
  if (parts == nullptr || parts->size != 3) return 1;
  if (fields->size < 2) return 2;
  const int type = VLK_Type_get(parts->data[2]);
  // A type the registry does not know gives no way to read the value (it would stop the run).
  if (type == VLK_TYPE_ERROR) return 1;
  if (!reads_back(type)) return 3;
  VLK_Network_add_property(net, parts->data[1], type,
                           VLK_Type_from_str(type, fields->data[1], nullptr));
  return 0;
}
