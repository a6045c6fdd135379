// VLK3, the main network format: a sectioned, TAB-separated text file of the nodes (name,
// alias, index and typed node attributes), the edges (parent and child index and typed edge
// attributes) and typed network properties:
//
//   Velk VLK3 FORMAT
//   [Information]
//   Edge Attr <TAB> key:type ...        (when edges have properties)
//   Node Attr <TAB> key:type ...        (when nodes have properties)
//   X:key:type <TAB> value              (one per network property)
//   (empty line)
//   [Nodes]
//   name <TAB> alias <TAB> index [<TAB> value per node attribute]
//   (empty line)
//   [Edges]
//   parent <TAB> child [<TAB> value per edge attribute]
//
// Attribute keys are declared in order of first occurrence; a value field is empty when the
// node or edge lacks the attribute. Edges are written by child in node order, parents in the
// order of the child's parent list. Values go through the type registry, unescaped: a string
// value must hold no TAB and no line end.
//
// The reader also takes blank lines, blanks around lines, information lines it does not know,
// the node index field (not read) and a line "-" that ends the network. The first declared edge
// attribute becomes the network's primary score. It gives null for a first line other than
// "Velk VLK3 FORMAT", and refuses (null, after a line-numbered "ERROR: VLK3: " line on VELK_ERR)
// node and edge lines shorter than the fields the reader reads, edge ends that are not the index
// of a node read before, a network property line without a value, attributes and network
// properties of a type whose values no writer can print (uint, float) and a line holding a NUL
// byte.
// An empty attribute field is an absent attribute.
#pragma once

#include <cstdio>
#include <string>

#include "VLK_Graph.h"
#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_StrArray.h"

// The options are not used.
VLK_Network* VLK3_read_fp(FILE* fp, const VLK_KeyValues* options);
// Null with "VLK3_read_file(): cannot open file: %s" when the path cannot be opened.
VLK_Network* VLK3_read_file(const char* path, const VLK_KeyValues* options);
// 0, or 1 when the stream could not take everything. The options are not used.
int VLK3_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);

namespace vlk::io {
// The writer's refusal (see write_problem): a name that is empty, holds a TAB or a LF or starts
// with a blank; an alias that holds a TAB or a LF; an attribute or network property whose key
// holds a TAB, a LF or a ':', whose type the reader does not read back (other than int, double,
// string and DoubleArray), or whose key comes twice in one node or edge or with two types;
// a value that prints as nothing, or a string value that holds a TAB or a LF or ends with a
// blank.
std::string vlk3_write_problem(const VLK_Network* net, const VLK_KeyValues* options);
}  // namespace vlk::io
// The writer's result; 1 with "VLK3_write_file(): cannot open file: %s" when the path cannot
// be opened, or when the file cannot be closed.
int VLK3_write_file(const char* path, const VLK_Network* net, const VLK_KeyValues* options);
// The header lines only (the sections stay empty); not a registry operation.
int VLK3_write_graph_fp(FILE* fp, const VLK_Graph* g, const VLK_KeyValues* options);

// An attribute declaration line ("Edge Attr" or "Node Attr" and key:type fields): appends a
// type id and a copy of the key per field after the first. A field without a type, and a type
// the registry does not know, declare a string attribute. Prints the declarations, headed by
// "  <label> Attributes:", on one line of VELK_ERR.
void VLK3_parse_attr(const char* label, const VLK_StrArray* fields, VLK_IntArray* types,
                     VLK_StrArray* keys);
// A network property line: first field X:key:type, second field the value. 0 when added; 1
// (nothing added) when the first field does not split into three parts at ':' or names a type
// the registry does not know; 2 (nothing added) when there is no value field; 3 (nothing added)
// when its values cannot be printed by the registry (uint, float), so no writer could write it.
int VLK3_parse_network_prop(VLK_Network* net, const VLK_StrArray* fields);
