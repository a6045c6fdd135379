// What the readers of expression data share: the data matrix and EDF readers (io) and the
// node-set file reader of the data set, with the owning handles of the records they build. A
// reader has nothing sensible to return half-way, so every failure here ends the process with
// an "ERROR: " line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "VLK_Data.h"
#include "VLK_DoubleArray.h"
#include "VLK_KeyValues.h"
#include "VLK_Str.h"
#include "VLK_StrArray.h"
#include "vlk_fatal.h"
#include "vlk_owned.h"

namespace vlk {

inline void close_file(FILE* fp) { std::fclose(fp); }

using FilePtr = Owned<FILE, close_file>;
using CharPtr = MallocPtr<char>;  // a malloc'ed string
using DataPtr = Owned<VLK_Data, VLK_Data_delete>;
using KeyValuesPtr = Owned<VLK_KeyValues, VLK_KeyValues_delete>;
using DoubleArrayPtr = Owned<VLK_DoubleArray, VLK_DoubleArray_delete>;
using StrArrayPtr = Owned<VLK_StrArray, VLK_StrArray_delete_all>;  // strings included

// p, or the end of the process with the reader's own out-of-memory line when p is null.
template <class T>
T* or_die(T* p, const char* no_memory) {
  if (p == nullptr) fatal(no_memory);
  return p;
}

// A malloc'ed copy of s.
char* copy_or_die(std::string_view s, const char* no_memory);
// Appends a malloc'ed copy of s to a.
void add_copy(VLK_StrArray* a, std::string_view s, const char* no_memory);

// An option binding (VLK_ARG_CALL3) for a std::optional<std::string> target: the last value
// given wins. The binding's own string kind would leak the earlier copies of a repeated key.
void bind_last_string(const char* key, const char* value, void* target);

// "  Requires <bytes> [bytes] (<MiB> [MiB])\n" for a block of `cells` doubles.
void print_requires(size_t cells);

// The values of a as one exactly sized block (null for none); a is left empty.
double* take_block(VLK_DoubleArray* a);

// Where a data reader reads: the path of its file when the caller gave one, so that every
// refusal of the file's content can name it. A reader given a stream alone names no file.
class DataSource {
 public:
  explicit DataSource(const char* file = nullptr) : file_(file) {}
  const char* file() const { return file_; }

  // Ends the process with the line that fmt makes (it ends in a newline) and, when the file is
  // known, the detail line "  file: <path>".
  [[noreturn]] void refuse(const char* fmt, ...) const __attribute__((format(printf, 2, 3)));

  // The number a value field holds, blanks around it and a final CR aside. A field that is not
  // wholly a number (empty, "NA", "12abc") is refused, and so are infinities, NaNs and numbers
  // too large for a double, which would flow into every score: each with the line and column
  // (from 1) and the field's text.
  double finite_value(std::string_view field, int line, size_t column) const;

  // A line holding a NUL byte would be cut short, or read with the next one glued on: refused
  // with its number (from 1) in the file.
  [[noreturn]] void refuse_nul_line(size_t line) const;
  void check_no_nul(const LineBuffer& buf, size_t line) const {
    if (buf.holds_nul()) refuse_nul_line(line);
  }

 private:
  const char* file_;
};

// The same for a reader that knows no file.
inline double finite_value(std::string_view field, int line, size_t column) {
  return DataSource().finite_value(field, line, column);
}
inline void check_no_nul(const LineBuffer& buf, size_t line) {
  DataSource().check_no_nul(buf, line);
}

// Whether text holds a control byte (below 0x20, or DEL): a node name or alias that holds one
// would reach every result file and every terminal that shows it as it is, where ESC starts an
// escape sequence. TAB and the line ends included, for a delimiter that leaves them in a field.
bool has_control_byte(std::string_view text);

}  // namespace vlk
