#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "VLK_Str.h"
#include "VLK_StrMatrix.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

using MatrixPtr = vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete>;

Rows rows_of(const VLK_StrMatrix* m) {
  Rows out;
  for (size_t i = 0; i < VLK_StrMatrix_lines(m); ++i) {
    out.emplace_back();
    for (size_t j = 0; j < VLK_StrMatrix_cols(m, i); ++j)
      out.back().emplace_back(VLK_StrMatrix_get(m, i, j));
  }
  return out;
}

MatrixPtr read_bytes(const std::string& bytes, char delim) {
  FILE* fp = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), fp);
  std::rewind(fp);
  MatrixPtr m(delim == '\t' ? VLK_StrMatrix_read_fp(fp) : VLK_StrMatrix_read_delim_fp(fp, delim));
  std::fclose(fp);
  return m;
}

// A table built by hand: "a b c", "d", "" (no fields), "e <empty> f".
MatrixPtr sample() {
  MatrixPtr m(VLK_StrMatrix_new());
  for (const char* line : {"a\tb\tc", "d", "", "e\t\tf"})
    EXPECT_EQ(VLK_StrMatrix_add_line(m.get(), VLK_Str_split(line, '\t')), m.get());
  return m;
}

TEST(StrMatrix, ReadsEveryLineWithEmptyFieldsKept) {
  const Rows want = {{"a", "b", "c"}, {"d"}, {}, {"e", "", "f"}};
  // LF, CR and CR LF all end lines; the last line needs no terminator.
  for (const std::string& bytes :
       {std::string("a\tb\tc\nd\n\ne\t\tf\n"), std::string("a\tb\tc\r\nd\r\re\t\tf"),
        std::string("a\tb\tc\rd\n\r\ne\t\tf\r")}) {
    MatrixPtr m = read_bytes(bytes, '\t');
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(rows_of(m.get()), want);
    EXPECT_EQ(VLK_StrMatrix_rows(m.get()), want.size());
  }
  MatrixPtr csv = read_bytes("x,y\n,\n", ',');
  EXPECT_EQ(rows_of(csv.get()), (Rows{{"x", "y"}, {"", ""}}));
  MatrixPtr empty = read_bytes("", '\t');
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(VLK_StrMatrix_lines(empty.get()), 0u);
}

TEST(StrMatrix, ReadFileAndWriteRoundTrip) {
  const std::string text = "a\tb\tc\nd\n\ne\t\tf\n";
  vlk_test::TempFile file(text);
  MatrixPtr m(VLK_StrMatrix_read_file(file.path().c_str()));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(rows_of(m.get()), rows_of(sample().get()));
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_StrMatrix_write_fp(fp, m.get()); }), text);

  vlk_test::CaptureErr err;
  EXPECT_EQ(VLK_StrMatrix_read_file("/nonexistent/dir/table.txt"), nullptr);
  EXPECT_EQ(err.text(), "");
}

TEST(StrMatrix, AccessNeverReadsPastALine) {
  MatrixPtr m = sample();
  EXPECT_EQ(VLK_StrMatrix_cols(m.get(), 0), 3u);
  EXPECT_EQ(VLK_StrMatrix_cols(m.get(), 2), 0u);
  EXPECT_STREQ(VLK_StrMatrix_get(m.get(), 0, 2), "c");
  EXPECT_EQ(VLK_StrMatrix_get(m.get(), 0, 3), nullptr);
  EXPECT_EQ(VLK_StrMatrix_get(m.get(), 1, 1), nullptr);
  EXPECT_EQ(VLK_StrMatrix_get(m.get(), 2, 0), nullptr);
  EXPECT_EQ(VLK_StrMatrix_get(m.get(), 4, 0), nullptr);
  EXPECT_EQ(VLK_StrMatrix_get_line(m.get(), 1), m->data[1]);
  EXPECT_EQ(VLK_StrMatrix_get_line(m.get(), 4), nullptr);
  EXPECT_EQ(VLK_StrMatrix_cols(m.get(), 4), 0u);
}

TEST(StrMatrix, ColumnFillsShortLinesWithEmptyStrings) {
  MatrixPtr m = sample();
  VLK_StrArray* col = VLK_StrMatrix_get_column(m.get(), 2);
  ASSERT_NE(col, nullptr);
  std::vector<std::string> got;
  for (size_t i = 0; i < col->size; ++i) {
    got.emplace_back(col->data[i]);
    if (VLK_StrMatrix_cols(m.get(), i) > 2) {
      EXPECT_NE(col->data[i], m->data[i]->data[2]);  // copies, not the table's fields
    }
  }
  EXPECT_EQ(got, (std::vector<std::string>{"c", "", "", "f"}));
  VLK_StrArray_delete_all(col);
}

TEST(StrMatrix, FindLine) {
  MatrixPtr m = sample();
  // A hand-made line may hold a null field; lookups pass over it.
  VLK_StrArray* line = VLK_StrArray_new();
  VLK_StrArray_add(line, nullptr);
  VLK_StrArray_add_copy(line, "b");
  VLK_StrMatrix_add_line(m.get(), line);

  struct Case {
    const char* s;
    long any;   // VLK_StrMatrix_find_line
    long col1;  // VLK_StrMatrix_find_line_col at column 1
    long col0;  // ... at column 0
  };
  for (const Case& c : {Case{"b", 0, 0, -1}, Case{"f", 3, -1, -1}, Case{"", 3, 3, -1},
                        Case{"d", 1, -1, 1}, Case{"zz", -1, -1, -1}, Case{"e", 3, -1, 3}}) {
    EXPECT_EQ(VLK_StrMatrix_find_line(m.get(), c.s), c.any) << c.s;
    EXPECT_EQ(VLK_StrMatrix_find_line_col(m.get(), c.s, 1), c.col1) << c.s;
    EXPECT_EQ(VLK_StrMatrix_find_line_col(m.get(), c.s, 0), c.col0) << c.s;
  }
  EXPECT_EQ(VLK_StrMatrix_find_line_col(m.get(), "b", 9), -1);
}

}  // namespace
