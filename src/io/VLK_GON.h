// GON: a write-only network format, a model of the older CSML 1.9 vocabulary in which every
// node is an entity ("e<n>") and every edge a continuous process ("p<n>") joined to its ends
// by two connectors ("c<2k+1>" from the parent, "c<2k+2>" to the child). An edge's process
// carries its "EdgeType" as the relation type "Type <t>", the value of the network's primary
// score as its edge score, and every edge property as a line of its comment.
//
// Options: "alias" (a TAB-delimited table converting the node aliases written as entity
// names), "alias_keycol" (the field matched against the alias, 0) and "alias_newcol" (the
// field written instead, 1). Names, aliases and property texts are escaped, so any text
// reads back as written.
#pragma once

#include <cstdio>
#include <string>

#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_StrMatrix.h"

// 0, or 1 when the stream could not take everything. Options it does not know and an alias
// table that cannot be read are warned about; writing goes on.
int GON_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);
// The writer's options with their defaults (the help registry's "GON"); sub is not used.
void GON_help(FILE* fp, const char* sub);

// The new-column field of the last table line whose key-column field equals text, else text.
// The scan stops at the first matching line too short to hold the new column.
std::string GON_str_conv(const char* text, const VLK_StrMatrix* table, int key_col, int new_col);
