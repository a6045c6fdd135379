// Four read-only network formats of parent (or child) lists.
//
// DAG: a record of eight lines per node, in node order, each line split at single blanks:
//   x y <id> [<name> [<alias>]]    the id is the record's number, counted from 0
//   x y z <k>                      the number of parents
//   <id> ...                       k parent ids (an empty line for none)
//   four lines not read, then an empty line
// Without a name the node is "Node <id>"; a name alone is also the alias.
//
// TXTS: one line per child: the child index, then TAB-separated parent indexes, all 0-based;
// nodes are made on demand as "G<number>" (1-based). A line "-" ends a network, and a file may
// hold several.
//
// PALIST: TAB-separated names; the first names a node and every further one a parent of it (a
// child with the option ch=on). Nodes get their name as alias; lines beginning with '#' are
// comments, empty lines and empty fields name nothing, and a line "-" ends the network.
//
// PARAOS: a first line "paraos", "1" (the version) and the node count N, TAB-separated; then N
// lines in node order, each a name followed by TAB-separated 0-based parent indexes.
//
// A DAG or TXTS file that is broken (an index that names no node or is no number, a DAG file
// ending inside a record, an empty TXTS index field, a DAG node name left empty by two blanks
// before it) ends the process with status 1 after a line-numbered "ERROR: " line on VELK_ERR, as
// does a line holding a NUL byte in any of them. PARAOS says the same on the process's standard
// error stream, where all its messages go; a node line beginning with a TAB (no name) is broken.
#pragma once

#include <cstdio>

#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "VLK_StrArray.h"

// The options are not used.
VLK_Network* DAG_read_fp(FILE* fp, const VLK_KeyValues* options);
// Null with "DAG_read_file(): cannot open file: %s" when the path cannot be opened.
VLK_Network* DAG_read_file(const char* path, const VLK_KeyValues* options);

// The options are not used.
VLK_Network* TXTS_read_fp(FILE* fp, const VLK_KeyValues* options);
// Appends nodes "G<number>" until the network holds node `index`.
void TXTS_add_node(VLK_Network* net, int index);
// Adds 1.0 to counts[parent][child] for every edge of every network in the files (a file that
// cannot be opened is skipped), for an n by n matrix: an index outside it ends the process.
// Returns the number of networks read.
int TXTS_count_edges(const VLK_StrArray* paths, double** counts, int n);

// One option, ch (on/off, off). Null (after a line on VELK_ERR) when an option is rejected.
VLK_Network* PALIST_read_fp(FILE* fp, const VLK_KeyValues* options);
// A path that cannot be opened ends the process with status 1.
VLK_Network* PALIST_read_file(const char* path, const VLK_KeyValues* options);
// The reader's option with its default (the help registry's "PALIST"); sub is not used.
void PALIST_help(FILE* fp, const char* sub);

// The options are not used.
VLK_Network* VLK_PARAOS_read_fp(FILE* fp, const VLK_KeyValues* options);
