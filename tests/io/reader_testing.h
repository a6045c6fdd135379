// What the tests of the two expression readers share: reading a text through a reader with an
// option string, the fatal paths, and the data set's members as plain vectors.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace reader_test {

using DataPtr = vlk::Owned<VLK_Data, VLK_Data_delete>;
using ReadFp = VLK_Data* (*)(FILE*, const VLK_KeyValues*);

using Names = std::vector<std::string>;
using Values = std::vector<double>;

struct Read {
  DataPtr d;
  std::string err;  // what the reader wrote to VELK_ERR
};

// Reads text as a file with the options given as an argument string (null: no options).
inline Read read_text(ReadFp reader, const std::string& text, const char* options) {
  vlk_test::TempFile file(text);
  vlk_test::CaptureErr err;
  Read r;
  VLK_KeyValues* list = options ? VLK_KeyValues_parse(options) : nullptr;
  FILE* fp = std::fopen(file.path().c_str(), "r");
  r.d.reset(reader(fp, list));
  std::fclose(fp);
  VLK_KeyValues_delete(list);
  r.err = err.text();
  return r;
}

// The fatal paths: the file is made in the parent, since a child that stops never runs its
// destructors, and nothing captures VELK_ERR in the child but the check itself.
inline void read_path(ReadFp reader, const std::string& path, const char* options) {
  VLK_KeyValues* list = options ? VLK_KeyValues_parse(options) : nullptr;
  FILE* fp = std::fopen(path.c_str(), "r");
  VLK_Data_delete(reader(fp, list));
  std::fclose(fp);
  VLK_KeyValues_delete(list);
}

// The reader stops on text with exactly the line err and exit status 1.
inline void expect_refused(ReadFp reader, const std::string& text, const char* options,
                           const std::string& err) {
  vlk_test::TempFile file(text);
  EXPECT_FATAL_EXIT(read_path(reader, file.path(), options), err);
}

inline Names strs(const VLK_StrArray* a) {
  Names out;
  if (a != nullptr)
    for (size_t i = 0; i < a->size; ++i) out.emplace_back(a->data[i] ? a->data[i] : "<null>");
  return out;
}

inline Values values(const VLK_Data* d) { return Values(d->X, d->X + VLK_Data_cells(d->p, d->n)); }

}  // namespace reader_test
