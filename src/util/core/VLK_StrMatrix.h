// A delimited text file as a table: lines in file order, each a VLK_StrArray of its fields
// (any number per line), all owned by the table.
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_StrArray.h"
#include "vlk_grow_array.h"

// Same record and growth as VLK_Array; the elements are the lines.
using VLK_StrMatrix = vlk::GrowArray<VLK_StrArray*>;

VLK_StrMatrix* VLK_StrMatrix_new();
// Frees every line with its fields, then the table; null ignored.
void VLK_StrMatrix_delete(VLK_StrMatrix* m);
// Every line (LF, CR or CR LF) split at TAB / at c, empty fields kept; null on allocation failure.
VLK_StrMatrix* VLK_StrMatrix_read_fp(FILE* fp);
VLK_StrMatrix* VLK_StrMatrix_read_delim_fp(FILE* fp, char c);
// TAB-delimited file; null, without a message, when it cannot be opened.
VLK_StrMatrix* VLK_StrMatrix_read_file(const char* path);
// Fields joined by TAB, one line each.
void VLK_StrMatrix_write_fp(FILE* fp, const VLK_StrMatrix* m);
size_t VLK_StrMatrix_lines(const VLK_StrMatrix* m);
size_t VLK_StrMatrix_rows(const VLK_StrMatrix* m);
// Number of fields of line i.
size_t VLK_StrMatrix_cols(const VLK_StrMatrix* m, size_t i);
// Line i (owned by the table).
VLK_StrArray* VLK_StrMatrix_get_line(const VLK_StrMatrix* m, size_t i);
// Field j of line i, or null when line i has j or fewer fields.
char* VLK_StrMatrix_get(const VLK_StrMatrix* m, size_t i, size_t j);
// Appends a line, taking ownership; the table, or null on allocation failure (line not taken).
VLK_StrMatrix* VLK_StrMatrix_add_line(VLK_StrMatrix* m, VLK_StrArray* line);
// New array: a copy of field j of every line, an empty string where the line is shorter.
VLK_StrArray* VLK_StrMatrix_get_column(const VLK_StrMatrix* m, size_t j);
// First line with a field equal to s / whose field j equals s; -1 for none.
long VLK_StrMatrix_find_line(const VLK_StrMatrix* m, const char* s);
long VLK_StrMatrix_find_line_col(const VLK_StrMatrix* m, const char* s, size_t j);

namespace vlk {

// VLK_StrMatrix_read_delim_fp for readers that refuse a line holding a NUL byte, which splitting
// would cut short: with nul_line, reading stops at the first such line, whose number (from 1)
// goes to *nul_line, and the result is null; *nul_line is 0 otherwise. Without nul_line such a
// line is kept as far as its first NUL byte, as VLK_StrMatrix_read_delim_fp does.
VLK_StrMatrix* read_delim_fp(FILE* fp, char c, size_t* nul_line);

}  // namespace vlk
