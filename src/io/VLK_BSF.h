// BSF, a structure-only network format: line l (counting from 0) lists the parents of node l,
// each a base-64 numeral of its index (digits "A" to "Z", "a" to "z", "0" to "9", "+" and "/",
// most significant first: 0 is "A", 64 is "BA"), separated by TABs; a node without parents is
// an empty line, and a line "-" ends a network when reading. Nodes read are named and aliased
// "G<number>" (1-based); nothing else is carried.
#pragma once

#include <array>
#include <cstdio>

#include "VLK_Graph.h"
#include "VLK_KeyValues.h"
#include "VLK_Network.h"

// The 64 digits in value order, and their values by character code (-1: no digit).
extern const char BSF_v2l[65];
extern const std::array<int, 128> BSF_l2v;

// Writes the numeral of value and a NUL into buffer (7 characters hold any int). A negative
// value ends the process with status 1.
void BSF_encode(char* buffer, int value);
// The value of a numeral; the empty text is 0. A character that is no digit, or a value above
// INT_MAX, ends the process with status 1.
int BSF_decode(const char* text);

// 0, or 1 when the stream could not take everything. The options are not used.
int BSF_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);
int BSF_write_graph_fp(FILE* fp, const VLK_Graph* g, const VLK_KeyValues* options);

// Every line read is a node. A field that is empty or no numeral, an index above the most
// nodes a file may name (vlk::io::kMaxIndexedNodes) and a line holding a NUL byte end the
// process with status 1 after an "ERROR: BSF: " line and the line's number. The options are not
// used.
VLK_Network* BSF_read_fp(FILE* fp, const VLK_KeyValues* options);
// Null with "BSF_read_file(): cannot open file: %s" when the path cannot be opened; not a
// registry operation.
VLK_Network* BSF_read_file(const char* path, const VLK_KeyValues* options);
// Appends nodes "G<number>" until the network holds node `index`.
void BSF_add_nodes(VLK_Network* net, int index);
