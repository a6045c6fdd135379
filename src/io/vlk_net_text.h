// What the line-based network readers and writers share: cutting a line into fields in place,
// decimal node indexes read strictly, nodes made on demand by name or by number, option tables
// that name the entry they reject, and the ending of the readers whose messages go to the
// process's standard error stream.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "VLK_KeyValues.h"
#include "VLK_Network.h"

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

// s as a piece of a one-line message: TAB, CR, LF, backslash and other control bytes written as
// \t, \r, \n, \\ and \xHH; at most `max` bytes of s, then "..." when it was longer.
std::string printable(std::string_view s, size_t max = 80);

// The keys of the edges' (nodes') properties: over the edges in insertion order (the nodes in
// index order) and each one's properties in order, every key not seen before.
std::vector<const char*> edge_property_keys(const VLK_Network* net);
std::vector<const char*> node_property_keys(const VLK_Network* net);

}  // namespace vlk::io
