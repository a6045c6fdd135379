// EDF, the system's own expression data file: meta lines ("$key<TAB>value"), attribute rows
// describing every column ("@key<TAB>v1<TAB>v2 ..."), then one data row per node ("name<TAB>
// values"). Comments start with '#'; blank lines are skipped. The attribute "typeid" marks the
// expression columns (no typeid, or "exp", "expression" or empty, any case); only they give
// values, attribute values and column IDs.
//
// Options of VLK_EDF_read_fp:
//   delim|d|D (string)              "comma" or "tab" (any case); other text is fatal
//   allow_nan (on/off, off)         a missing value becomes NaN instead of being fatal
//   nan (string, "NAN")             the missing-value keyword (any case)
//   v (flag)                        report meta data, attributes and column IDs
//   primarykey (string)             attribute of the primary column IDs (time points)
//   secondarykey (string)           attribute of the secondary column IDs (series)
//   log (on/off, off)               store the natural logarithm of each value (above 0)
//   ext (string)                    file extension; "csv" selects ',' when delim is absent
// The meta entries primarykeygroupid, secondarykeygroupid and keywordofna override primarykey,
// secondarykey and nan.
// A value field other than the missing-value keyword must read as a finite number: NaN and
// infinity in any spelling, and numbers too large for a double, are refused like malformed input.
#pragma once

#include <cstdio>
#include <string>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"

// A new data set read from the stream (null for a null stream); options may be null. Malformed
// input ends the process with status 1 after an "ERROR: " line naming the line (and the column
// of a field at fault), followed by "  file: <path>" when the reader knows the file. A node name
// holding a control byte is refused like malformed input.
VLK_Data* VLK_EDF_read_fp(FILE* fp, const VLK_KeyValues* options);
// Opens path and reads it, naming the path in its refusals; the text after the path's last '.' is
// passed as "ext" unless the options hold one. Null, with a message, when the file cannot be
// opened.
VLK_Data* VLK_EDF_read_file(const char* path, const VLK_KeyValues* options);
// Reads every file in order; the nodes of later files whose names are new are appended to the
// first data set. Null when no file was read.
VLK_Data* VLK_EDF_read_files(const VLK_StrArray* paths, const VLK_KeyValues* options);

// "$Version\t1.0", then every node's name and the values of its row of X ("%f"; NaN, a
// missing value, as "nan"). A data set the reader would not give back is refused before anything
// is written (see vlk::edf_write_problem).
void VLK_EDF_write_fp(FILE* fp, const VLK_Data* d);
// The same into a new file; a file that cannot be opened is fatal. A refused data set leaves the
// path alone.
void VLK_EDF_write_file(const char* path, const VLK_Data* d);

// The reader's options with their defaults (the help registry's "EDF"); sub is not used.
void VLK_EDF_help(FILE* fp, const char* sub);

namespace vlk {

// VLK_EDF_read_fp for a stream that reads the file `file` (null: none known), which every refusal
// of the file's content names.
VLK_Data* read_edf(FILE* fp, const VLK_KeyValues* options, const char* file);

// The "ERROR: " line the writer refuses d with, or an empty string when what it writes reads
// back with the same names and values (NaN read as a missing value with allow_nan). Refused: a
// node name that is empty, holds a tab or a line end, starts with '#', starts or ends with a
// blank, holds another control byte, or, in the first row, starts with '$' or '@'; an infinite
// value.
std::string edf_write_problem(const VLK_Data* d);

}  // namespace vlk
