// TXT, the plain edge list: one TAB-separated line per edge, the parent name and the child name.
// Nodes exist only through their edges, so isolated nodes are not written.
//
// Reader options (on/off): ppi or PPI (off; every line adds both directions), selfloop (on; off
// skips a line whose two names are the same node), w (off; warn of skipped lines), ch (off; the
// first field is the child). Lines with fewer than two names are skipped, further fields are
// ignored, and nodes get their name as alias. The writer's options (on/off, all off): header or
// H (a header line), alias or A (alias columns after each name), prop or P (a column per edge
// property key, in order of first occurrence).
#pragma once

#include <cstdio>
#include <string>

#include "VLK_KeyValues.h"
#include "VLK_Network.h"

// A new network; null (after a line on VELK_ERR) when an option is rejected. The closing count
// goes to the process's standard error stream. A line holding a NUL byte ends the process.
VLK_Network* TXT_read_fp(FILE* fp, const VLK_KeyValues* options);
// 0; 1 when an option is rejected or the stream could not take everything. The progress lines
// go to the process's standard error stream.
int TXT_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options);
// The options of both directions; sub "input" or "output" (any case) prints one of them.
void TXT_help(FILE* fp, const char* sub);

namespace vlk::io {
// The writer's refusal (see write_problem): a name at an end of an edge that is empty or holds a
// TAB or a line end (LF or CR).
std::string txt_write_problem(const VLK_Network* net, const VLK_KeyValues* options);
}  // namespace vlk::io
