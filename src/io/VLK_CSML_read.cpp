#include <strings.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "VLK_CSML.h"
#include "VLK_IO.h"
#include "VLK_SAX.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_number.h"

namespace {

// ---- attribute values ------------------------------------------------------------------------

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The character of a reference "&name;" (given without '&' and ';'): the five predefined
// entities and decimal or hexadecimal character references. False for anything else, which
// then stays as written.
bool append_reference(std::string_view ref, std::string& out) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& [name, c] : kEntities) {
    if (ref == name) {
      out += c;
      return true;
    }
  }
  if (ref.size() < 2 || ref[0] != '#') return false;
  const bool hex = ref[1] == 'x' || ref[1] == 'X';
  const std::string_view digits = ref.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return false;
  uint32_t cp = 0;
  for (const char c : digits) {
    const int d = std::isdigit(static_cast<unsigned char>(c))           ? c - '0'
                  : hex && std::isxdigit(static_cast<unsigned char>(c)) ? (c | 0x20) - 'a' + 10
                                                                        : -1;
    if (d < 0) return false;
    cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
  }
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  append_utf8(out, cp);
  return true;
}

// One attribute value with its references decoded; null when the element lacks it. Values
// without '&' (nearly all) are used in place.
class Attr {
 public:
  Attr(const VLK_KeyValues* attrs, const char* key) : value_(VLK_SAX_get_attr_value(attrs, key)) {
    if (value_ == nullptr || std::strchr(value_, '&') == nullptr) return;
    for (const char* p = value_; *p != '\0';) {
      if (*p == '&') {
        if (const char* semi = std::strchr(p + 1, ';');
            semi != nullptr &&
            append_reference({p + 1, static_cast<size_t>(semi - p - 1)}, text_)) {
          p = semi + 1;
          continue;
        }
      }
      text_ += *p++;
    }
    value_ = text_.c_str();
  }
  Attr(const Attr&) = delete;
  Attr& operator=(const Attr&) = delete;

  explicit operator bool() const { return value_ != nullptr; }
  const char* get() const { return value_; }
  bool is(const char* s) const { return value_ != nullptr && std::strcmp(value_, s) == 0; }

 private:
  std::string text_;
  const char* value_;
};

// ---- numbers in attribute values -----------------------------------------------------------
//
// Every number the reader takes is the whole text of its attribute, or of one blank-separated
// part of it, and a number of its kind: a coordinate that atof would read from "12px" as 12, or
// from "abc" as 0, or a colour component "300" that would be clamped, is a damaged file.

// The refusal of the attribute `key` of the element `el` at `line`: its text and why.
[[noreturn]] void refuse_attribute(size_t line, std::string_view el, const char* key,
                                   const char* text, const std::string& why) {
  vlk::fatal("ERROR: CSML: line %zu: %.*s %s=\"%s\": %s\n", line, static_cast<int>(el.size()),
             el.data(), key, vlk::printable(text).c_str(), why.c_str());
}

std::string quoted(std::string_view text) { return "\"" + vlk::printable(text) + "\""; }

// The parts of text between runs of blanks.
std::vector<std::string_view> blank_separated(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const size_t start = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i > start) parts.push_back(text.substr(start, i - start));
  }
  return parts;
}

// Why a part is no finite double, or empty when it is one (its value in *x).
std::string real_problem(std::string_view part, double* x) {
  const vlk::Number<double> n = vlk::parse_number<double>(part);
  if (n.ok()) {
    *x = n.value;
    return {};
  }
  return quoted(part) + " " + vlk::number_problem<double>(n.status);
}

struct Where {
  size_t line;
  std::string_view el;
};

// The value of a coordinate or another real attribute.
double real_of(const Where& at, const char* key, const char* text) {
  double x = 0;
  if (const std::string why = real_problem(text, &x); !why.empty())
    refuse_attribute(at.line, at.el, key, text, why);
  return x;
}

// "r g b a", each 0 .. 255; missing ones are 0, 0, 255, 255 in that order, as a colour written
// with fewer parts means.
void color_of(const Where& at, const char* key, const char* text, int rgba[4]) {
  rgba[0] = 0, rgba[1] = 0, rgba[2] = 255, rgba[3] = 255;
  const std::vector<std::string_view> parts = blank_separated(text);
  if (parts.size() > 4)
    refuse_attribute(at.line, at.el, key, text,
                     "more than four numbers (red, green, blue and alpha)");
  for (size_t k = 0; k < parts.size(); ++k) {
    const vlk::Number<int> n = vlk::parse_number<int>(parts[k]);
    if (!n.ok())
      refuse_attribute(at.line, at.el, key, text,
                       quoted(parts[k]) + " " + vlk::number_problem<int>(n.status));
    if (n.value < 0 || n.value > 255)
      refuse_attribute(at.line, at.el, key, text,
                       quoted(parts[k]) + " is out of the range of a colour component (0 to 255)");
    rgba[k] = n.value;
  }
}

// "width [height]": the width is the node's size; a height, when given, must be a number too.
double size_of(const Where& at, const char* key, const char* text) {
  const std::vector<std::string_view> parts = blank_separated(text);
  if (parts.empty()) refuse_attribute(at.line, at.el, key, text, "no number");
  if (parts.size() > 2)
    refuse_attribute(at.line, at.el, key, text, "more than two numbers (width and height)");
  double size = 0, height = 0;
  if (std::string why = real_problem(parts[0], &size); !why.empty())
    refuse_attribute(at.line, at.el, key, text, why);
  if (parts.size() == 2)
    if (std::string why = real_problem(parts[1], &height); !why.empty())
      refuse_attribute(at.line, at.el, key, text, why);
  return size;
}

// A property's value of the type id (from its "type"): an Integer must be an int and a Real a
// finite double, whole; a string any text.
void check_property_value(const Where& at, const char* key, const char* value, int type) {
  if (type != VLK_TYPE_INT && type != VLK_TYPE_DOUBLE) return;
  const char* kind = type == VLK_TYPE_INT ? "Integer" : "Real";
  if (value == nullptr)
    vlk::fatal("ERROR: CSML: line %zu: %.*s key=\"%s\": a property of type %s without a value\n",
               at.line, static_cast<int>(at.el.size()), at.el.data(), vlk::printable(key).c_str(),
               kind);
  std::string why;
  if (type == VLK_TYPE_INT) {
    const vlk::Number<int> n = vlk::parse_number<int>(value);
    if (!n.ok()) why = quoted(value) + " " + vlk::number_problem<int>(n.status);
  } else {
    double x;
    why = real_problem(value, &x);
  }
  if (!why.empty())
    vlk::fatal("ERROR: CSML: line %zu: %.*s key=\"%s\" value=\"%s\": %s\n", at.line,
               static_cast<int>(at.el.size()), at.el.data(), vlk::printable(key).c_str(),
               vlk::printable(value).c_str(), why.c_str());
}

// ---- the reader's state ----------------------------------------------------------------------

enum State : int {
  kOutside = 0,      // outside any element of interest
  kEntity = 1,       // inside an entity
  kProcess = 2,      // inside a process, before its first connector
  kBetween = 3,      // between the connectors
  kAfterOutput = 4,  // after the output connector
  kInput = 5,        // inside the input connector
  kOutput = 6,       // inside the output connector
  kComment = 7,      // inside a comment after the output connector
  kFact = 8,         // inside a directed-relation fact
  kFactView = 9,     // inside a fact-view element
};

struct Context {
  VLK_Network* net = nullptr;
  vlk::NodePtr node;           // the entity being read
  std::string node_id;         // its id
  VLK_Node* parent = nullptr;  // ends of the edge being built
  VLK_Node* child = nullptr;
  int state = kOutside;
  // Entity ids, each naming the node its entity gave (the first one of a repeated id). Only
  // entities read to their end have a node.
  std::unordered_map<std::string, int> ids;
  vlk::EdgePtr edge;        // the edge being built
  vlk::KeyValuesPtr props;  // properties of the entity being read, none at first
  vlk::xml::Position at;    // where the parser stands, for the messages

  void begin_entity(const VLK_KeyValues* attrs) {
    const Attr id(attrs, "id"), name(attrs, "name");
    const char* key = id ? id.get() : "";
    node.reset(VLK_Node_new(key, name ? name.get() : key));
    node_id = key;
    props.reset();
    state = kEntity;
  }

  void end_entity() {
    VLK_Node* n = node.get();
    // A node without a name would be written as no field at all by the text formats.
    if (n->name == nullptr || *n->name == '\0')
      vlk::fatal(
          "ERROR: CSML: line %zu: an entity without a name (its id is missing or empty, and no "
          "probeID property names it)\n",
          at.line);
    if (vlk::add_node(net, node) == nullptr) vlk::fatal("ERROR: CSML: out of memory.\n");
    if (props) VLK_Node_set_properties(n, props.release());
    ids.emplace(node_id, n->index);
    state = kOutside;
  }

  // A new edge, in place of anything half read (an entity or edge left open is dropped).
  void begin_edge(int next) {
    node.reset();
    props.reset();
    edge.reset(VLK_Edge_new(nullptr, nullptr));
    parent = child = nullptr;
    state = next;
  }

  void end_edge() {
    state = kOutside;
    if (parent == nullptr || child == nullptr) {
      std::fprintf(VELK_ERR, "WARNING: CSML: an edge without both ends is dropped.\n");
      edge.reset();
      return;
    }
    VLK_Edge_set(edge.get(), parent, child);
    vlk::add_edge(net, edge);  // the network deletes a repeated pair
    edge.reset();
  }

  // The node of the entity that the element's refID names, or null with a warning.
  VLK_Node* referred(const VLK_KeyValues* attrs) {
    const Attr ref(attrs, "refID");
    if (!ref) return nullptr;
    const auto at = ids.find(ref.get());
    if (at == ids.end()) {
      std::fprintf(VELK_ERR, "WARNING: CSML: refID \"%s\" names no entity read before.\n",
                   ref.get());
      return nullptr;
    }
    return VLK_Network_get_node(net, at->second);
  }

  void entity_element(std::string_view el, const VLK_KeyValues* attrs) {
    VLK_Node* n = node.get();
    const Where where{at.line, el};
    if (el == "csml:position") {
      const Attr x(attrs, "x"), y(attrs, "y");
      VLK_Node_set_position(n, x ? real_of(where, "x", x.get()) : VLK_Node_get_position_x(n),
                            y ? real_of(where, "y", y.get()) : VLK_Node_get_position_y(n));
    } else if (el == "geneEntity" || el == "fig:geneEntity") {
      if (const Attr fill(attrs, "fillColor"); fill) {
        int c[4];
        color_of(where, "fillColor", fill.get(), c);
        VLK_Node_set_color(n, c[0], c[1], c[2], c[3]);
      }
      if (const Attr size(attrs, "size"); size)
        VLK_Node_set_size(n, size_of(where, "size", size.get()));
    } else if (el == "csml:property") {
      const Attr key(attrs, "key"), value(attrs, "value"), type(attrs, "type");
      if (!key) return;
      if (key.is("probeID")) {
        if (value) VLK_Node_set_name(n, value.get());
        return;
      }
      const int id = VLK_CSML_get_CSML_type(type.get());
      check_property_value(where, key.get(), value.get(), id);
      if (!props) props.reset(VLK_KeyValues_new());
      VLK_KeyValues_put_as_string(props.get(), key.get(), id, value.get());
    }
  }

  void fact_element(std::string_view el, const VLK_KeyValues* attrs) {
    const Where where{at.line, el};
    if (el == "csml:participant") {
      const Attr type(attrs, "type");
      if (type.is("from"))
        parent = referred(attrs);
      else if (type.is("to"))
        child = referred(attrs);
    } else if (el == "fig:edge") {
      if (const Attr line(attrs, "lineColor"); line) {
        int c[4];
        color_of(where, "lineColor", line.get(), c);
        VLK_Edge_set_color(edge.get(), c[0], c[1], c[2], c[3]);
      }
    } else if (el == "csml:property") {
      const Attr key(attrs, "key"), value(attrs, "value"), type(attrs, "type");
      if (!key) return;
      const int id = VLK_CSML_get_CSML_type(type.get());
      check_property_value(where, key.get(), value.get(), id);
      VLK_Edge_add_property_Object(edge.get(), key.get(),
                                   VLK_Object_new_by_string(value.get(), id));
    }
  }
};

}  // namespace

void VLK_CSML_start_cb(void* data, const char* name, const VLK_KeyValues* attrs) {
  Context& c = *static_cast<Context*>(data);
  const std::string_view el(name);
  if (el == "csml:process") {  // recognised wherever it starts
    c.begin_edge(kProcess);
    return;
  }
  switch (c.state) {
    case kOutside:
      if (el == "csml:entity") {
        c.begin_entity(attrs);
      } else if (el == "csml:fact") {
        const Attr type(attrs, "type");
        if (type.is("cso30:f:DirectedRelation"))
          c.begin_edge(kFact);
        else if (type.is("cso30:c:FactViewElement"))
          c.state = kFactView;
      }
      break;
    case kEntity:
      c.entity_element(el, attrs);
      break;
    case kProcess:
      if (el == "csml:connector") {
        c.parent = c.referred(attrs);
        c.state = kInput;
      }
      break;
    case kBetween:
      if (el == "csml:connector") {
        c.child = c.referred(attrs);
        c.state = kOutput;
      }
      break;
    case kAfterOutput:
      if (el == "csml:comment") c.state = kComment;
      break;
    case kFact:
      c.fact_element(el, attrs);
      break;
    default:
      break;
  }
}

void VLK_CSML_end_cb(void* data, const char* name) {
  Context& c = *static_cast<Context*>(data);
  const std::string_view el(name);
  switch (c.state) {
    case kEntity:
      if (el == "csml:entity") c.end_entity();
      break;
    case kInput:
      if (el == "csml:connector") c.state = kBetween;
      break;
    case kOutput:
      if (el == "csml:connector") c.state = kAfterOutput;
      break;
    case kComment:
      if (el == "csml:comment") c.state = kAfterOutput;
      break;
    case kAfterOutput:
      if (el == "csml:process") c.end_edge();
      break;
    case kFact:
      if (el == "csml:fact") c.end_edge();
      break;
    case kFactView:
      if (el == "csml:fact") c.state = kOutside;
      break;
    default:
      break;
  }
}

VLK_Network* VLK_CSML_read_fp(FILE* fp, const VLK_KeyValues* /*options*/) {
  vlk::SAXPtr sax(VLK_SAX_new());
  if (!sax) vlk::fatal("ERROR: CSML: out of memory.\n");
  VLK_SAX_set_start(sax.get(), VLK_CSML_start_cb);
  VLK_SAX_set_end(sax.get(), VLK_CSML_end_cb);
  Context c;
  c.net = VLK_Network_new();
  VLK_Network_set_primary_score(c.net, "edgeScore");
  if (vlk::xml::parse(sax.get(), fp, &c, &c.at) != 0) {
    // Read on, it would have cut a name or a value short, as it does in no line of a text file.
    if (c.at.nul) {
      VLK_Network_delete(c.net);
      vlk::fatal("ERROR: CSML: line %zu: a NUL byte, which no XML document holds\n", c.at.line);
    }
    std::fprintf(VELK_ERR,
                 "WARNING: CSML: the document is not well formed; what was read before the "
                 "error is kept.\n");
  }
  return c.net;
}

VLK_Network* VLK_CSML_read_file(const char* path, const VLK_KeyValues* options) {
  return vlk::io::read_path(path, options, VLK_CSML_read_fp, "ERROR: Cannot open file: %s\n", true);
}

int VLK_CSML_get_CSML_type(const char* type) {
  if (type == nullptr || strcasecmp(type, "string") == 0) return VLK_TYPE_STRING;
  if (strcasecmp(type, "integer") == 0) return VLK_TYPE_INT;
  if (strcasecmp(type, "real") == 0) return VLK_TYPE_DOUBLE;
  vlk::fatal("FATAL ERROR: VLK_CSML_get_CSML_type(): Unknown type: %s\n", type);
}
