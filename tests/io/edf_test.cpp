#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_DataMatrix.h"
#include "VLK_EDF.h"
#include "VLK_IntArray.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"
#include "reader_testing.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

namespace {

using vlk_test::CaptureErr;
using vlk_test::TempFile;
using namespace std::string_literals;

using reader_test::DataPtr;
using reader_test::Names;
using reader_test::Read;
using reader_test::strs;
using reader_test::Values;
using reader_test::values;
using Ints = std::vector<int>;

Read read_text(const std::string& text, const char* options = nullptr) {
  return reader_test::read_text(VLK_EDF_read_fp, text, options);
}
void expect_refused(const std::string& text, const char* options, const std::string& err) {
  reader_test::expect_refused(VLK_EDF_read_fp, text, options, err);
}

Ints ints(const VLK_IntArray* a) { return a ? Ints(a->data, a->data + a->size) : Ints{}; }

// Meta data as "key=value" strings, attributes as "key=v1|v2|...".
Names meta(const VLK_Data* d) {
  Names out;
  if (d->meta != nullptr)
    for (size_t i = 0; i < VLK_KeyValues_size(d->meta); ++i)
      out.push_back(std::string(VLK_KeyValues_get_key(d->meta, i)) + "=" +
                    static_cast<const char*>(VLK_KeyValues_get_value(d->meta, i)));
  return out;
}

Names attributes(const VLK_Data* d) {
  Names out;
  if (d->attributes == nullptr) return out;
  for (size_t i = 0; i < VLK_KeyValues_size(d->attributes); ++i) {
    std::string s = std::string(VLK_KeyValues_get_key(d->attributes, i)) + "=";
    const auto* a = static_cast<const VLK_StrArray*>(VLK_KeyValues_get_value(d->attributes, i));
    for (size_t k = 0; k < a->size; ++k) s += (k ? "|" : "") + std::string(a->data[k]);
    out.push_back(s);
  }
  return out;
}

TEST(EDFRead, DataRowsOnlyReadAsAPlainMatrix) {
  const Read r = read_text("g1\t1\t2\t3\ng2\t4\t5\t6");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(strs(r.d->names), (Names{"g1", "g2"}));
  EXPECT_EQ(strs(r.d->aliases), (Names{"g1", "g2"}));
  EXPECT_EQ(values(r.d.get()), (Values{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(r.d->Y, r.d->X);
  EXPECT_EQ(ints(r.d->primary_ids), (Ints{1, 2, 3}));
  EXPECT_EQ(ints(r.d->secondary_ids), (Ints{1, 1, 1}));
  EXPECT_EQ(r.err, "  2 nodes  x  3 samples read.\n  Requires 48 [bytes] (0 [MiB])\n");
}

// Meta lines, comments and blank lines, a type row that drops a label column, time and series
// attributes named by the meta data, and the section rules.
TEST(EDFRead, MetaLinesAttributesAndColumnTypes) {
  const Read r = read_text(
      "$Version\t1.0\n"
      "# a comment\n"
      "$PrimaryKeyGroupID\ttime\n"
      "  $SecondaryKeyGroupID\t series \textra\n"
      "$Tag\t  spaced value  \n"
      "$lonely\n"
      "\t  \n"
      "@TypeID\texp\t\tlabel\tExpression\n"
      "$Note\t a \tb\tc\td\n"  // after an attribute row: an attribute row
      "@time\t1\t1\t9\t2\n"
      "@Series\t1\t2\t9\t1\n"
      "g1\t1\t2\tzz\t3\n"
      "   g2\t4\t5\tyy\t6   \n"
      "# a comment among the data\n"
      "\n"
      "$odd\t7\t8\tq\t9\n"  // inside the data: data rows
      "@odd2\t1\t1\tx\t1\n");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(strs(r.d->names), (Names{"g1", "g2", "$odd", "@odd2"}));
  EXPECT_EQ(r.d->n, 3);
  EXPECT_EQ(values(r.d.get()), (Values{1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 1, 1}));
  EXPECT_EQ(meta(r.d.get()), (Names{"version=1.0", "primarykeygroupid=time",
                                    "secondarykeygroupid=series", "tag=spaced value"}));
  EXPECT_EQ(attributes(r.d.get()),
            (Names{"typeid=exp||Expression", "note=a|b|d", "time=1|1|2", "series=1|2|1"}));
  EXPECT_EQ(ints(r.d->primary_ids), (Ints{1, 1, 2}));
  EXPECT_EQ(ints(r.d->secondary_ids), (Ints{1, 2, 1}));
}

TEST(EDFRead, OptionsNameTheIdAttributesAndVerboseReportsThem) {
  const std::string text = "@T\t3\t4\n@S\t2\t2\ng\t5\t6\n";
  Read r = read_text(text, "primarykey=t,secondarykey=s");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(ints(r.d->primary_ids), (Ints{3, 4}));
  EXPECT_EQ(ints(r.d->secondary_ids), (Ints{2, 2}));

  r = read_text("$PrimaryKeyGroupID\tT\n" + text, "v,primarykey=S");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(r.err,
            "VLK_EDF: MetaData: \"primarykeygroupid\"=\"T\"\n"
            "VLK_EDF: Attribute: key=\"t\"\n"
            "VLK_EDF: Attribute: key=\"s\"\n"
            "VLK_EDF: PrimaryKeyGroupID=\"T\"\n"
            "VLK_EDF: SecondaryKeyGroupID=\"secondarykeygroupid\"\n"
            "  1 nodes  x  2 samples read.\n"
            "  Requires 16 [bytes] (0 [MiB])\n"
            "VLK_EDF: PrimaryID = {3, 4}\n"
            "VLK_EDF: SecondaryID = {1, 1}\n");

  r = read_text("g\t1\n", "v");
  EXPECT_NE(r.err.find("VLK_EDF: PrimaryKeyGroupID \"primarykeygroupid\" not found.\n"),
            std::string::npos);
}

TEST(EDFRead, MissingValues) {
  struct Case {
    const char* what;
    std::string text;
    const char* options;
    Values values;  // NaN compares through isnan below
  } cases[] = {
      {"the default keyword in any case", "g\t1\tNaN\tnan\n", "allow_nan=on", {1, NAN, NAN}},
      {"a keyword from the meta data", "$KeywordOfNA\t-\ng\t-\t2\n", "allow_nan=on", {NAN, 2}},
      {"the meta data override the option",
       "$keywordofna\t-\ng\t5\t-\n",
       "nan=NA,allow_nan=on",
       {5, NAN}},
      {"a keyword from the option", "g\tna\t3\n", "nan=NA,allow_nan=on", {NAN, 3}},
      {"blanks around the keyword", "g\t NAN \t3\n", "allow_nan=on", {NAN, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = read_text(c.text, c.options);
    ASSERT_NE(r.d, nullptr);
    const Values v = values(r.d.get());
    ASSERT_EQ(v.size(), c.values.size());
    for (size_t i = 0; i < v.size(); ++i) {
      if (std::isnan(c.values[i]))
        EXPECT_TRUE(std::isnan(v[i])) << i;
      else
        EXPECT_EQ(v[i], c.values[i]) << i;
    }
  }
  expect_refused("# c\n\ng\t1\tnan\n", nullptr,
                 "ERROR: VLK_EDF: NAN value found at line 3, column 3.\n");
  expect_refused("$KeywordOfNA\t-\ng\t1\t2\nh\t-\t2\n", nullptr,
                 "ERROR: VLK_EDF: NAN value found at line 3, column 2.\n");
  // Once the meta data name another keyword, the option's is a text like any other.
  expect_refused("$keywordofna\t-\ng\tNA\t-\n", "nan=NA,allow_nan=on",
                 "ERROR: not a number at line 2, column 2: \"NA\"\n");
}

// Only the keyword makes a missing value: NaN and infinity in any other spelling, and numbers
// that overflow, are refused whether missing values are allowed or not, and so is a value whose
// logarithm is not finite. Columns that hold no values are not read as numbers.
TEST(EDFRead, RefusesValuesThatAreNotFinite) {
  const std::string log0 = "ERROR: VLK_EDF: log=on needs a value above 0 at line ";
  struct Case {
    std::string text;
    const char* options;
    std::string err;
  } cases[] = {
      {"g\t1\t-nan\n", nullptr, "ERROR: not a finite value at line 1, column 3: -nan\n"},
      {"g\t+NaN\n", "allow_nan=on", "ERROR: not a finite value at line 1, column 2: +NaN\n"},
      {"g\tnan(7)\n", "allow_nan=on", "ERROR: not a finite value at line 1, column 2: nan(7)\n"},
      {"g\t1\n\nh\tinf\n", nullptr, "ERROR: not a finite value at line 3, column 2: inf\n"},
      {"g\t-INFINITY\n", nullptr, "ERROR: not a finite value at line 1, column 2: -INFINITY\n"},
      {"g\t1e999\n", "allow_nan=on", "ERROR: not a finite value at line 1, column 2: 1e999\n"},
      {"@TypeID\tlabel\texp\ng\tinf\tinf\n", nullptr,
       "ERROR: not a finite value at line 2, column 3: inf\n"},
      {"g\t-1\t0\tinf\n", "log=on", log0 + "1, column 2: -1\n"},
      {"g\t1\t0\n", "log=on,allow_nan=on", log0 + "1, column 3: 0\n"},
      {"g\t1\tinf\n", "log=on", "ERROR: not a finite value at line 1, column 3: inf\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    expect_refused(c.text, c.options, c.err);
  }
}

TEST(EDFRead, DelimitersAndTransforms) {
  struct Case {
    const char* what;
    std::string text;
    const char* options;
    Names names;
    Values values;
  } cases[] = {
      {"comma", "g1,1,2\ng2,3,4\n", "d=comma", {"g1", "g2"}, {1, 2, 3, 4}},
      {"tab in any case", "a,b\t1\t2\n", "delim=TAB", {"a,b"}, {1, 2}},
      {"the csv extension", "g,1,2\n", "ext=CSV", {"g"}, {1, 2}},
      {"delim beats the extension", "g\t1\t2\n", "ext=csv,D=tab", {"g"}, {1, 2}},
      {"log", "g\t1\t2.718281828459045\n", "log=on", {"g"}, {0, 1}},
      {"line ends LF, CR, CR LF and none",
       "g1\t1\rg2\t2\r\ng3\t3\ng4\t4",
       nullptr,
       {"g1", "g2", "g3", "g4"},
       {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = read_text(c.text, c.options);
    ASSERT_NE(r.d, nullptr);
    EXPECT_EQ(strs(r.d->names), c.names);
    const Values v = values(r.d.get());
    ASSERT_EQ(v.size(), c.values.size());
    for (size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], c.values[i], 1e-15);
  }
}

TEST(EDFRead, RejectedOptionsWarnAndTheRestStillBind) {
  const Read r = read_text("g\t1\tNA\n", "allow_nan=maybe,foo=1,nan=na,allow_nan=on,log=on");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(r.err.rfind("WARNING: VLK_EDF: illegal arguments failure: allow_nan\n"
                        "WARNING: VLK_EDF: illegal arguments failure: foo\n",
                        0),
            0u);
  EXPECT_EQ(r.d->X[0], 0);  // log 1
  EXPECT_TRUE(std::isnan(r.d->X[1]));
}

TEST(EDFRead, RepeatedNamesAreRefused) {
  expect_refused("g1\t1\ng2\t2\ng3\t3\n# c\ng2\t4\ng1\t5\n", nullptr,
                 "ERROR: VLK_EDF: Same node name found: g2 (= 2-th node) at line 5\n");
  // Names are compared as they stand after trimming, case and all.
  const Read r = read_text("g1\t1\n  G1\t2\ng1 x\t3\n");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(strs(r.d->names), (Names{"g1", "G1", "g1 x"}));
}

// A byte-order mark that an editor put before the first line is no part of it.
TEST(EDFRead, ByteOrderMarkBeforeTheFirstLine) {
  const Read r = read_text("\xEF\xBB\xBF$Version\t1.0\ng1\t1\t2\ng2\t3\t4\n");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(meta(r.d.get()), (Names{"version=1.0"}));
  EXPECT_EQ(strs(r.d->names), (Names{"g1", "g2"}));
  EXPECT_EQ(values(r.d.get()), (Values{1, 2, 3, 4}));
}

// Column IDs count from 0 or from 1, whichever the file uses.
TEST(EDFRead, ColumnIdsFromZero) {
  const Read r = read_text(
      "$PrimaryKeyGroupID\ttime\n$SecondaryKeyGroupID\tseries\n"
      "@time\t0\t0\t1\t1\n@series\t0\t1\t0\t1\ng\t1\t2\t3\t4\n");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(ints(r.d->primary_ids), (Ints{0, 0, 1, 1}));
  EXPECT_EQ(ints(r.d->secondary_ids), (Ints{0, 1, 0, 1}));
}

TEST(EDFRead, InputWithoutDataRowsIsAnEmptyDataSet) {
  for (const char* text : {"", "# nothing\n\n", "$Version\t1.0\n@a\t1\t2\n"}) {
    SCOPED_TRACE(text);
    const Read r = read_text(text);
    ASSERT_NE(r.d, nullptr);
    EXPECT_EQ(r.d->p, 0);
    EXPECT_EQ(r.d->n, 0);
    EXPECT_EQ(r.d->attributes, nullptr);
    EXPECT_TRUE(ints(r.d->primary_ids).empty());
    EXPECT_EQ(r.err, "  0 nodes  x  0 samples read.\n  Requires 0 [bytes] (0 [MiB])\n");
  }
}

TEST(EDFRead, RefusesMalformedInput) {
  const std::string sizes = "  1 nodes  x  2 samples read.\n  Requires 16 [bytes] (0 [MiB])\n";
  struct Case {
    const char* what;
    std::string text;
    const char* options;
    std::string err;
  } cases[] = {
      {"an unknown delimiter", "g\t1\n", "D=semicolon",
       "ERROR: VLK_EDF: Unknown delimiter type: semicolon\n"},
      {"an attribute without values", "$v\t1\n  @Time  \n", nullptr,
       "ERROR: VLK_EDF: No values for attribute: @Time at line 2\n"},
      {"attribute rows of different lengths", "@a\t1\t2\n# c\n@b\t1\n", nullptr,
       "ERROR: VLK_EDF: inconsistent column number at line 3\n"},
      {"a short data row", "g1\t1\t2\n\ng2\t1\n", nullptr,
       "ERROR: VLK_EDF: The number of columns not consistent at line 3.\n"},
      {"a data row longer than the attributes", "@a\t1\t2\ng\t1\t2\t3\n", nullptr,
       "ERROR: VLK_EDF: The number of columns not consistent at line 2.\n"},
      {"a data row longer than the type row", "@TypeID\texp\tlabel\ng\t1\tx\t3\n", nullptr,
       "ERROR: VLK_EDF: more columns than the TypeID attribute at line 2, column 4.\n"},
      {"a negative column ID", "@TypeID\tlabel\texp\n@S\tx\t-3\ng\ta\t2\n", "secondarykey=s",
       "ERROR: VLK_EDF: column ID below 0 in attribute s at line 2, column 3: -3\n"},
      {"a column ID that is no number", "@T\tfirst\t2\ng\t1\t2\n", "primarykey=t",
       "ERROR: VLK_EDF: column ID in attribute t at line 1, column 2: \"first\" is not an "
       "integer\n"},
      {"a column ID that is no integer", "#\n@T\t1\t2.5\ng\t1\t2\n", "primarykey=t",
       "ERROR: VLK_EDF: column ID in attribute t at line 2, column 3: \"2.5\" is not an "
       "integer\n"},
      {"an empty column ID", "@T\t\t2\ng\t1\t2\n", "primarykey=t",
       "ERROR: VLK_EDF: column ID in attribute t at line 1, column 2: \"\" is not an integer\n"},
      // A name is written into every result file and shown on terminals: no control bytes.
      {"an escape sequence in a name", "g1\t1\t2\ng\x1b[31m\t3\t4\n", nullptr,
       "ERROR: VLK_EDF: a control byte in the node name at line 2, column 1: \"g\\x1b[31m\"\n"},
      {"DEL in a name", "\x7f\t1\t2\n", nullptr,
       "ERROR: VLK_EDF: a control byte in the node name at line 1, column 1: \"\\x7f\"\n"},
      {"a TAB in a name between commas", "a\tb,1,2\n", "d=comma",
       "ERROR: VLK_EDF: a control byte in the node name at line 1, column 1: \"a\\tb\"\n"},
      // A value field is wholly a number or the missing-value keyword.
      {"NA without that keyword", "g\t1\tNA\n", "allow_nan=on",
       "ERROR: not a number at line 1, column 3: \"NA\"\n"},
      {"a word", "g1\t1\t2\ng2\tabc\t2\n", nullptr,
       "ERROR: not a number at line 2, column 2: \"abc\"\n"},
      {"an empty field", "g\t1\t\t2\n", nullptr, "ERROR: not a number at line 1, column 3: \"\"\n"},
      {"a number with text after it", "g\t12abc\t2\n", nullptr,
       "ERROR: not a number at line 1, column 2: \"12abc\"\n"},
      {"a header row of sample names", "Feature\tA\tB\ng\t1\t2\n", nullptr,
       "ERROR: not a number at line 1, column 2: \"A\"\n"},
      {"a NUL byte in a data row", "g1\t1\t2\ng2\t3\0\t4\n"s, nullptr,
       "ERROR: a NUL byte in line 2\n"},
      {"a NUL byte in a comment", "# a\0b\ng\t1\n"s, nullptr, "ERROR: a NUL byte in line 1\n"},
      {"fewer values than expression columns", "@TypeID\texp\texp\texp\n@t\t1\t2\t3\ng\t1\t2\n",
       nullptr,
       sizes + "ERROR: VLK_EDF: inconsistent TypeID attribute number.\n"
               "              attr=typeid, n=3 vs samples=2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    expect_refused(c.text, c.options, c.err);
  }
  // Bytes above 0x7f (UTF-8) are no control bytes.
  const Read r = read_text("g\xc3\xa8ne\t1\n");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(strs(r.d->names), (Names{"g\xc3\xa8ne"}));
}

// ---- files and the writer ----

// Read from a path, every refusal of the content names the file in a line below its own; the
// program passes the path of its input with the stream it opened.
TEST(EDFFiles, RefusalsNameTheFile) {
  struct Case {
    std::string text;
    std::string err;  // without the file's line
  } cases[] = {
      {"g\t1\nh\tx\n", "ERROR: not a number at line 2, column 2: \"x\"\n"},
      {"g\t1\nh\tinf\n", "ERROR: not a finite value at line 2, column 2: inf\n"},
      {"g\tNAN\n", "ERROR: VLK_EDF: NAN value found at line 1, column 2.\n"},
      {"g\t1\nh\t1\t2\n", "ERROR: VLK_EDF: The number of columns not consistent at line 2.\n"},
      {"g\t1\ng\t2\n", "ERROR: VLK_EDF: Same node name found: g (= 1-th node) at line 2\n"},
      {"g\x01\t1\n",
       "ERROR: VLK_EDF: a control byte in the node name at line 1, column 1: \"g\\x01\"\n"},
      {"g\t1\0\n"s, "ERROR: a NUL byte in line 1\n"},
      {"@T\t1\n@U\n", "ERROR: VLK_EDF: No values for attribute: @U at line 2\n"},
      {"@a\t1\t2\n@b\t1\n", "ERROR: VLK_EDF: inconsistent column number at line 2\n"},
      {"@TypeID\texp\texp\texp\n@t\t1\t2\t3\ng\t1\t2\n",
       "  1 nodes  x  2 samples read.\n  Requires 16 [bytes] (0 [MiB])\n"
       "ERROR: VLK_EDF: inconsistent TypeID attribute number.\n"
       "              attr=typeid, n=3 vs samples=2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TempFile file(c.text, ".edf");
    EXPECT_FATAL_EXIT(VLK_Data_delete(VLK_EDF_read_file(file.path().c_str(), nullptr)),
                      c.err + "  file: " + file.path() + "\n");
    // The stream with its path, as the program reads its input; the path as it is printed.
    EXPECT_FATAL_EXIT(
        {
          FILE* fp = std::fopen(file.path().c_str(), "r");
          VLK_Data_delete(vlk::read_edf(fp, nullptr, "in\tput.edf"));
        },
        c.err + "  file: in\\tput.edf\n");
  }
}

TEST(EDFFiles, ReadFilePassesTheExtension) {
  TempFile csv("g,1,2\n", ".csv");
  CaptureErr err;
  DataPtr d(VLK_EDF_read_file(csv.path().c_str(), nullptr));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(values(d.get()), (Values{1, 2}));

  // Options naming the delimiter or their own extension win; the caller's list is unchanged.
  TempFile tab("g,x\t1\t2\n", ".csv");
  for (const char* options : {"delim=tab", "ext=txt"}) {
    VLK_KeyValues* list = VLK_KeyValues_parse(options);
    d.reset(VLK_EDF_read_file(tab.path().c_str(), list));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(strs(d->names), (Names{"g,x"}));
    EXPECT_EQ(VLK_KeyValues_size(list), 1u);
    VLK_KeyValues_delete(list);
  }
  (void)err.text();
}

TEST(EDFFiles, OpenFailure) {
  CaptureErr err;
  EXPECT_EQ(VLK_EDF_read_file("/nonexistent/a.edf", nullptr), nullptr);
  EXPECT_EQ(err.text(), "VLK_EDF: Cannot open file: /nonexistent/a.edf\n");
}

TEST(EDFFiles, ReadFilesMergesNewNodes) {
  TempFile a("g1\t1\t2\ng2\t3\t4\n", ".edf");
  TempFile b("g2\t0\t0\ng3\t5\t6\n", ".edf");
  VLK_StrArray* paths = VLK_StrArray_new();
  VLK_StrArray_add_copy(paths, a.path().c_str());
  VLK_StrArray_add_copy(paths, "/nonexistent/b.edf");
  VLK_StrArray_add_copy(paths, b.path().c_str());
  CaptureErr err;
  DataPtr d(VLK_EDF_read_files(paths, nullptr));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(strs(d->names), (Names{"g1", "g2", "g3"}));
  EXPECT_EQ(values(d.get()), (Values{1, 2, 3, 4, 5, 6}));
  const std::string text = err.text();
  EXPECT_NE(text.find("Reading: /nonexistent/b.edf\nVLK_EDF: Cannot open file: "
                      "/nonexistent/b.edf\nWARNING: VLK_EDF: cannot read file: "
                      "/nonexistent/b.edf\n"),
            std::string::npos);
  EXPECT_NE(text.find("  Added 1 new non-redundant nodes.\n"), std::string::npos);
  VLK_StrArray_clear_all(paths);
  EXPECT_EQ(VLK_EDF_read_files(paths, nullptr), nullptr);
  VLK_StrArray_delete_all(paths);
}

TEST(EDFWrite, WritesNamesAndValuesAndReadsBack) {
  Read r = read_text("$Tag\tx\n@time\t2\t1\ng1\t1\t2.5\ng2\t-3\t0.1234567\n");
  ASSERT_NE(r.d, nullptr);
  const std::string text = vlk_test::capture([&](FILE* fp) { VLK_EDF_write_fp(fp, r.d.get()); });
  EXPECT_EQ(text, "$Version\t1.0\ng1\t1.000000\t2.500000\ng2\t-3.000000\t0.123457\n");

  TempFile out("", ".edf");
  VLK_EDF_write_file(out.path().c_str(), r.d.get());
  EXPECT_EQ(vlk_test::read_file(out.path()), text);
  CaptureErr err;
  DataPtr back(VLK_EDF_read_file(out.path().c_str(), nullptr));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(strs(back->names), (Names{"g1", "g2"}));
  EXPECT_EQ(strs(back->aliases), (Names{"g1", "g2"}));
  EXPECT_EQ(values(back.get()), (Values{1, 2.5, -3, 0.123457}));
  EXPECT_EQ(meta(back.get()), (Names{"version=1.0"}));
  EXPECT_EQ(ints(back->primary_ids), (Ints{1, 2}));
  EXPECT_EQ(ints(back->secondary_ids), (Ints{1, 1}));

  EXPECT_FATAL_EXIT(VLK_EDF_write_file("/nonexistent/dir/x.edf", r.d.get()),
                    "ERROR: Cannot open file: /nonexistent/dir/x.edf\n");
}

// A data set of the named nodes with n values each (node-major).
DataPtr make_data(const Names& names, const Values& x, int n) {
  DataPtr d(VLK_Data_new());
  d->p = static_cast<int>(names.size());
  d->n = n;
  d->X = d->Y = static_cast<double*>(std::malloc(std::max<size_t>(x.size(), 1) * sizeof(double)));
  std::copy(x.begin(), x.end(), d->X);
  for (const std::string& name : names) {
    VLK_StrArray_add_copy(d->names, name.c_str());
    VLK_StrArray_add_copy(d->aliases, name.c_str());
  }
  return d;
}

// Every name of up to three characters from a set of troublesome ones, in the first row (where
// '$' and '@' start a meta or attribute line) and in a later one, with and without values: what
// the writer accepts reads back as written, what it refuses is refused with the node's number.
TEST(EDFWrite, EverythingTheWriterAcceptsReadsBack) {
  const std::string alphabet = "a #$@,\t\n\r\x1b";
  std::vector<std::string> names = {""};
  for (size_t from = 0, length = 1; length <= 3; ++length) {
    const size_t to = names.size();
    for (size_t i = from; i < to; ++i)
      for (const char c : alphabet) names.push_back(names[i] + c);
    from = to;
  }
  int accepted = 0, refused = 0;
  CaptureErr err;  // the reader's reports
  for (const std::string& name : names) {
    for (const bool first : {true, false}) {
      for (const int n : {2, 0}) {
        const Names rows = first ? Names{name, "g"} : Names{"g", name};
        const DataPtr d = make_data(rows, n ? Values{1.5, -2.25, 0.125, 3} : Values{}, n);
        const std::string problem = vlk::edf_write_problem(d.get());
        SCOPED_TRACE("[" + name + "] first " + std::to_string(first) + " n " + std::to_string(n));
        if (!problem.empty()) {
          ++refused;
          EXPECT_EQ(problem.rfind("ERROR: VLK_EDF: cannot write node " +
                                      std::string(first ? "1" : "2") + ": its name \"",
                                  0),
                    0u)
              << problem;
          continue;
        }
        ++accepted;
        const std::string text =
            vlk_test::capture([&](FILE* fp) { VLK_EDF_write_fp(fp, d.get()); });
        const Read back = read_text(text);
        ASSERT_NE(back.d, nullptr);
        EXPECT_EQ(strs(back.d->names), rows);
        EXPECT_EQ(back.d->n, n);
        EXPECT_EQ(values(back.d.get()), values(d.get()));
      }
    }
  }
  EXPECT_GT(accepted, 300);
  EXPECT_GT(refused, 300);
  (void)err.text();

  // A NaN, whatever its sign, is written as the missing-value keyword.
  const DataPtr d = make_data({"g"}, {-std::nan(""), 1}, 2);
  const std::string text = vlk_test::capture([&](FILE* fp) { VLK_EDF_write_fp(fp, d.get()); });
  EXPECT_EQ(text, "$Version\t1.0\ng\tnan\t1.000000\n");
  const Read back = read_text(text, "allow_nan=on");
  ASSERT_NE(back.d, nullptr);
  EXPECT_TRUE(std::isnan(back.d->X[0]));
  EXPECT_EQ(back.d->X[1], 1);
}

TEST(EDFWrite, RefusesWhatCannotBeReadBackBeforeWritingAnything) {
  const std::string cannot = "ERROR: VLK_EDF: cannot write node ";
  struct Case {
    Names names;
    Values x;  // two values per node
    std::string err;
  } cases[] = {
      {{"g1", "a\tb"},
       {1, 2, 3, 4},
       cannot + "2: its name \"a\\tb\" holds a tab, the delimiter.\n"},
      {{"", "g"}, {1, 2, 3, 4}, cannot + "1: its name \"\" is empty.\n"},
      {{"g", "x\r"}, {1, 2, 3, 4}, cannot + "2: its name \"x\\r\" holds a line end.\n"},
      {{"g", "x\x1b]0;"},
       {1, 2, 3, 4},
       cannot + "2: its name \"x\\x1b]0;\" holds a control byte, which the reader refuses.\n"},
      {{"g", "#x"},
       {1, 2, 3, 4},
       cannot + "2: its name \"#x\" starts with '#', which makes a comment.\n"},
      {{"g", "x "},
       {1, 2, 3, 4},
       cannot + "2: its name \"x \" starts or ends with a blank, which is trimmed.\n"},
      {{"@x", "g"},
       {1, 2, 3, 4},
       cannot + "1: its name \"@x\" starts with '$' or '@', which makes the first row a meta or "
                "attribute line.\n"},
      {{"g1", "g2"},
       {1, 2, 3, -HUGE_VAL},
       cannot + "2 (g2): sample 2 is infinite, which does not read back.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const DataPtr d = make_data(c.names, c.x, 2);
    // The child's exit flushes its stream: anything written would show in the file.
    TempFile out("", ".edf");
    FILE* fp = std::fopen(out.path().c_str(), "w");
    EXPECT_FATAL_EXIT(VLK_EDF_write_fp(fp, d.get()), c.err);
    std::fclose(fp);
    EXPECT_EQ(vlk_test::read_file(out.path()), "");
    const std::string path = out.path() + ".new";
    EXPECT_FATAL_EXIT(VLK_EDF_write_file(path.c_str(), d.get()), c.err);
    EXPECT_EQ(std::fopen(path.c_str(), "r"), nullptr);
  }
}

// The bundled example: 500 probe sets x 26 samples, as a data matrix and as EDF.
TEST(Examples, BothFormatsGiveTheSameValues) {
  const std::string dir = VLK_EXAMPLES_DIR;
  CaptureErr err;
  DataPtr txt(VLK_DataMatrix_read_file_sa((dir + "/exprsData.txt").c_str(), "h=1,l=1"));
  ASSERT_NE(txt, nullptr);
  ASSERT_EQ(txt->p, 500);
  ASSERT_EQ(txt->n, 26);
  EXPECT_STREQ(VLK_Data_get_name(txt.get(), 0), "AFFX-MurIL2_at");
  EXPECT_EQ(txt->X[0], 192.742);
  EXPECT_EQ(txt->X[500 * 26 - 1], 287.749);

  // The committed EDF file is what the writer makes of the text file.
  const std::string written = vlk_test::capture([&](FILE* fp) { VLK_EDF_write_fp(fp, txt.get()); });
  EXPECT_EQ(written, vlk_test::read_file(dir + "/exprsData.edf"));

  DataPtr edf(VLK_EDF_read_file((dir + "/exprsData.edf").c_str(), nullptr));
  ASSERT_NE(edf, nullptr);
  ASSERT_EQ(edf->p, 500);
  ASSERT_EQ(edf->n, 26);
  EXPECT_EQ(strs(edf->names), strs(txt->names));
  for (size_t i = 0; i < 500 * 26; ++i)
    ASSERT_NEAR(edf->X[i], txt->X[i], 5.0000001e-7) << "cell " << i;
  EXPECT_NE(err.text().find("  500 nodes  x  26 samples read.\n  Requires 104,000 [bytes] (0 "
                            "[MiB])\n"),
            std::string::npos);
}

}  // namespace
