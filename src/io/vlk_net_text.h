// What the line-based network readers and writers share: cutting a line into fields in place,
// decimal node indexes read strictly, nodes made on demand by name or by number, option tables
// that name the entry they reject, texts made printable for messages, and the names a writer
// must refuse because its reader would read them back as something else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_Str.h"

namespace vlk::io {

// The line cut at every `sep` in place (each becomes a NUL): the bulk of a file is read with no
// allocation once the field list has grown. An empty line gives one empty field.
void cut_fields(char* line, std::vector<char*>& fields, char sep = '\t');

// The index-based formats make the nodes their indexes name, so a broken numeral could ask for
// billions of them. They name at most as many nodes as a data set of the system holds genes
// (gene ids are 16-bit, 65535 meaning none).
inline constexpr int kMaxIndexedNodes = 65535;

enum class Index { ok, empty, invalid, too_large };

// A node index: decimal digits only, blanks around them allowed, below `limit`.
Index parse_index(std::string_view field, long limit, int* out);

// Appends nodes named and aliased "G<number>" (1-based) until the network holds node `index`.
void add_numbered_nodes(VLK_Network* net, int index);

// The first node of that name, or a new one with the name as name and alias.
VLK_Node* node_named(VLK_Network* net, const char* name);

// s as a piece of a one-line message, at most 80 bytes of it (vlk::printable).
inline std::string printable(std::string_view s) { return vlk::printable(s, 80); }

// What a format's reader does to a field that holds a name, so what its writer must not put in
// one: the bytes that end the field or the line, and the blanks the reader trims.
struct FieldRules {
  const char* ends = "\t\n";      // bytes that end the field or the line
  bool may_be_empty = false;      // an empty field reads back as an empty name
  bool leading_trimmed = false;   // blanks and TABs before it are lost (the line's first field)
  bool trailing_trimmed = false;  // blanks after it are lost (the last field of a line)
};

// Why s would not read back from such a field ("is empty", "holds a TAB, ..."), or null.
const char* field_problem(std::string_view s, const FieldRules& rules);

// The line a writer ends with when the first node whose name (or alias, with alias rules) it
// would write does not read back, naming the writer, the node and the text; empty when there is
// none. With `edge_ends`, the writer writes only the nodes at the ends of edges.
std::string name_problem(const VLK_Network* net, const char* writer, const FieldRules& name,
                         const FieldRules* alias = nullptr, bool edge_ends = false);

// Before a writer writes anything: ends the process with the problem's line (when there is one)
// on the process's standard error stream, as the registry's other writer refusals.
void refuse(const std::string& problem);

// The text of a value as the type registry prints it; false when it cannot be had.
bool value_text(const void* value, int type, std::string* text);

// The keys of the edges' (nodes') properties: over the edges in insertion order (the nodes in
// index order) and each one's properties in order, every key not seen before.
std::vector<const char*> edge_property_keys(const VLK_Network* net);
std::vector<const char*> node_property_keys(const VLK_Network* net);

}  // namespace vlk::io
