// VLK2 and VLK, the two older name-based network formats. Both name nodes by name, so names
// must be unique for a file to read back.
//
// VLK2 (TAB-separated):
//   Velk VLK2 FORMAT
//   [Information]
//   Nodes <TAB> <count>
//   Edge Info <TAB> gain <TAB> bspline
//   (empty line)
//   [Options]
//   (empty line)
//   [Children]
//   name <TAB> alias                                  (one line per node, in node order)
//   (empty line)
//   [Parents]
//   name <TAB> alias [<TAB> parent <TAB> properties]  (one line per node, parents in list order)
// The properties are the edge's key=value entries separated by ", "; the reader does not read
// them. Lines before [Children] are ignored; an empty last field (an empty alias) is a field.
//
// VLK (writer only): a "Children" block of name <TAB> alias lines, an empty line and a
// "Parents" block whose lines add, per parent, its name and the edge's value under the
// network's primary score key.
#pragma once

#include <cstdio>
#include <string>

#include "VLK_KeyValues.h"
#include "VLK_Network.h"

// 0, or 1 when the stream could not take everything. The options are not used.
int VLK2_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);

namespace vlk::io {
// The writer's refusal (see write_problem): a name that is empty, holds a TAB or a LF or starts
// with a blank; an alias that holds a TAB or a LF or ends with a blank; an edge property whose
// text holds a TAB or a LF.
std::string vlk2_write_problem(const VLK_Network* net, const VLK_KeyValues* options);
}  // namespace vlk::io

// A new network without edge properties; null when the first line is not "Velk VLK2 FORMAT",
// and (after an "ERROR: VLK2: " line on VELK_ERR) when the file is broken: a line of fewer
// than two names, a name no node has, the [Parents] section not listing every node once, the
// file ending before it does. A node or parents line holding a NUL byte ends the process. The
// options are not used.
VLK_Network* VLK2_read_fp(FILE* fp, const VLK_KeyValues* options);
// Null with "VLK2_read_file(): cannot open file: %s" when the path cannot be opened.
VLK_Network* VLK2_read_file(const char* path, const VLK_KeyValues* options);

// "0.0" for an edge without a value under the primary score key, and for every edge of a
// network without that key, with one warning per call. 0, or 1 when the stream could not take
// everything. The options are not used.
int VLK_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);
