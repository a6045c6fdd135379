// The plain expression-matrix input: a delimited text file with one row per node, some label
// fields at the start of each row and one value per sample after them.
//
// Options of VLK_DataMatrix_read_fp (a key/value list, later duplicates win):
//   header_rows|h|H (int, 0)       header lines after the ignored lines
//   label_columns|l|L (int, 2)     label fields per row: 0 none, 1 name, 2 name and alias
//   C|c|categorical|cat (flag)     values are category texts (whole-table path)
//   alias_table (string)           TAB-delimited alias conversion table
//   alias_keycol (int, 0)          table field compared with the node name
//   alias_newcol (int, 1)          table field giving the alias
//   delim (string)                 its first character is the delimiter (TAB by default)
//   csv (flag)                     ',' as delimiter, whatever "delim" says
//   trans (flag)                   transposed layout (whole-table path)
//   discretize|D (int, -1)         2 or more: discretise into that many categories
//   ignore|I (int, 0)              leading lines skipped before the header lines
//   DUL (flag)                     first label is alias__middle__name
//   dup (on/off, on)               a repeated node name is fatal
//
// Malformed input ends the process with status 1 after an "ERROR: " line naming the line (and
// the column of a field at fault), followed by "  file: <path>" when the reader knows the file.
// A node name or alias holding a control byte is refused like malformed input.
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"
#include "VLK_StrMatrix.h"

// A new data set read from the stream; options may be null. Null for a null stream, and when
// the whole-table path (trans or categorical) gets nothing from it.
VLK_Data* VLK_DataMatrix_read_fp(FILE* fp, const VLK_KeyValues* options);

// The whole-table path: the stream as a table split at delim, in normal (trans 0) or
// transposed orientation, values as numbers or, with categorical, as category texts numbered
// per node in order of first appearance. Null when the stream cannot be read.
VLK_Data* VLK_DataMatrix_read_trans_fp(FILE* fp, int trans, int header_rows, int label_columns,
                                       char delim, int categorical);

// New copy of the alias of name: field newcol of the first table line whose field keycol
// equals name, or name itself (no match, no such field, the field is "NA", or no table).
char* VLK_DataMatrix_str_conv(const char* name, const VLK_StrMatrix* table, int keycol, int newcol);

// Opens path and reads it, naming the path in its refusals; null, with a warning, when it
// cannot be opened.
VLK_Data* VLK_DataMatrix_read_file(const char* path, const VLK_KeyValues* options);
// The same with the options as an argument string ("h=1,l=1,csv").
VLK_Data* VLK_DataMatrix_read_file_sa(const char* path, const char* options);
// Reads every file in order; the nodes of later files whose names are new are appended to the
// first data set. Null when no file was read.
VLK_Data* VLK_DataMatrix_read_files(const VLK_StrArray* paths, const VLK_KeyValues* options);

// Values only, TAB-delimited: a new node-major block of *rows x *cols doubles, null (and both
// counts 0) when there is no data row. The first header_rows lines and the first
// label_columns fields of every row are skipped.
double* VLK_DataMatrix_read_values_fp(FILE* fp, int header_rows, int label_columns, int* rows,
                                      int* cols);
// The same into the caller's buffer of capacity values; overflowing it is fatal. Returns 0.
int VLK_DataMatrix_read_values_buff_fp(FILE* fp, int header_rows, int label_columns, double* buffer,
                                       int* rows, int* cols, size_t capacity);

// The reader's options with their defaults (the help registry's "DataMatrix"); sub is not used.
void VLK_DataMatrix_help(FILE* fp, const char* sub);

namespace vlk {

// VLK_DataMatrix_read_fp for a stream that reads the file `file` (null: none known), which every
// refusal of the file's content names.
VLK_Data* read_data_matrix(FILE* fp, const VLK_KeyValues* options, const char* file);

}  // namespace vlk
