#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VLK_Data.h"
#include "VLK_DataMatrix.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"
#include "VLK_StrMatrix.h"
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

constexpr char kBanner[] = "Reading the data matrix. [labels=2]\n";

Read read_text(const std::string& text, const char* options) {
  return reader_test::read_text(VLK_DataMatrix_read_fp, text, options);
}
void expect_refused(const std::string& text, const char* options, const std::string& err) {
  reader_test::expect_refused(VLK_DataMatrix_read_fp, text, options, err);
}

struct LayoutCase {
  const char* what;
  std::string text;
  const char* options;
  Names names, aliases;
  int samples;
  Values values;  // node-major
};

// The normal path: layout, labels, delimiters and value conversion.
TEST(DataMatrixRead, NormalLayouts) {
  const LayoutCase cases[] = {
      {"defaults: name, alias, values",
       "g1\ta1\t1\t2.5\ng2\ta2\t-3\t4e1\n",
       nullptr,
       {"g1", "g2"},
       {"a1", "a2"},
       2,
       {1, 2.5, -3, 40}},
      {"ignored and header lines are skipped; unnamed rows count from 1",
       "junk\tline\nmore junk\nS1\tS2\n1\t2\n3\t4\n",
       "I=2,h=1,l=0",
       {"node_1", "node_2"},
       {"node_1", "node_2"},
       2,
       {1, 2, 3, 4}},
      {"one label column: the alias is the name",
       "Feature\tA\tB\nx\t5\t6\n",
       "header_rows=1,L=1",
       {"x"},
       {"x"},
       2,
       {5, 6}},
      {"a third label field is passed over",
       "g\ta\tskip\t7\n",
       "label_columns=3",
       {"g"},
       {"a"},
       1,
       {7}},
      {"blanks around a value are no part of it, an empty label field is a label",
       "g\t\t 1\t2 \t 3 \n",
       nullptr,
       {"g"},
       {""},
       3,
       {1, 2, 3}},
      {"a byte-order mark before the first line is no part of its name",
       "\xEF\xBB\xBFg1\ta\t1\n",
       nullptr,
       {"g1"},
       {"a"},
       1,
       {1}},
      {"a last line without newline is kept",
       "g1\ta\t1\ng2\ta\t2",
       nullptr,
       {"g1", "g2"},
       {"a", "a"},
       1,
       {1, 2}},
      {"a CR before the LF stays in the last field",
       "g1\ta\t1\t2\r\ng2\ta\t3\t4\r\n",
       nullptr,
       {"g1", "g2"},
       {"a", "a"},
       2,
       {1, 2, 3, 4}},
      {"delim takes its first character", "g;a;1;2\n", "delim=;x", {"g"}, {"a"}, 2, {1, 2}},
      {"csv beats delim", "g,a,1,2\n", "delim=;,csv", {"g"}, {"a"}, 2, {1, 2}},
      {"DUL: alias__middle__name", "A__x__B\t1\t2\n", "DUL,l=1", {"B"}, {"A"}, 2, {1, 2}},
      {"DUL with csv reads the values after the first comma",
       "A__x__B,zz,3,4\n",
       "DUL,csv",
       {"B"},
       {"A"},
       2,
       {3, 4}},
      {"DUL keeps the third part of a longer label",
       "A____B__C\t1\n",
       "DUL,l=1",
       {"B"},
       {"A"},
       1,
       {1}},
      {"dup off keeps two nodes of one name",
       "g\ta\t1\ng\tb\t2\n",
       "dup=off",
       {"g", "g"},
       {"a", "b"},
       1,
       {1, 2}},
      {"a later duplicate key wins", "g;a;1\n", "delim=,,delim=;", {"g"}, {"a"}, 1, {1}},
      {"control bytes in skipped lines label nothing; bytes above 0x7f are no control bytes",
       "\x1b[1mjunk\nS\x07\tx\ng\xc3\xa8ne\ta\t1\n",
       "I=1,h=1",
       {"g\xc3\xa8ne"},
       {"a"},
       1,
       {1}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = read_text(c.text, c.options);
    ASSERT_NE(r.d, nullptr);
    EXPECT_EQ(strs(r.d->names), c.names);
    EXPECT_EQ(strs(r.d->aliases), c.aliases);
    EXPECT_EQ(r.d->p, static_cast<int>(c.names.size()));
    EXPECT_EQ(r.d->n, c.samples);
    EXPECT_EQ(values(r.d.get()), c.values);
    EXPECT_EQ(r.d->Y, r.d->X);
    EXPECT_EQ(r.d->category, 0);
  }
}

TEST(DataMatrixRead, ReportsSizesOnTheErrorStream) {
  const Read r = read_text("g1\ta\t1\t2\t3\ng2\ta\t4\t5\t6\n", nullptr);
  EXPECT_EQ(r.err,
            "Reading the data matrix. [labels=2]\n"
            "  2 nodes  x  3 samples read.\n"
            "  Requires 48 [bytes] (0 [MiB])\n");
}

TEST(DataMatrixRead, InputWithoutDataRowsIsAnEmptyDataSet) {
  for (const char* text : {"", "header only\n", "\n"}) {
    SCOPED_TRACE(text);
    const Read r = read_text(text, "h=1");
    ASSERT_NE(r.d, nullptr);
    EXPECT_EQ(r.d->p, 0);
    EXPECT_EQ(r.d->n, 0);
    EXPECT_EQ(r.d->names->size, 0u);
    EXPECT_NE(r.err.find("  0 nodes  x  0 samples read.\n"), std::string::npos);
  }
}

TEST(DataMatrixRead, AliasTable) {
  // Lines too short for the key column are passed over; the first match wins; "NA" or a
  // missing new column keeps the name.
  TempFile table(
      "short\n"
      "g1\tALIAS1\n"
      "g1\tSECOND\n"
      "g2\tNA\n"
      "g3\n"
      "x\tg4\tFROM2\n");
  const std::string text = "g1\tignored\t1\ng2\tb\t2\ng3\tc\t3\ng4\td\t4\ng5\te\t5\n";
  const std::string opts = "alias_table=" + table.path();
  Read r = read_text(text, opts.c_str());
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(strs(r.d->names), (Names{"g1", "g2", "g3", "g4", "g5"}));
  EXPECT_EQ(strs(r.d->aliases), (Names{"ALIAS1", "g2", "g3", "g4", "g5"}));
  EXPECT_EQ(r.err.rfind("Reading the data matrix. [labels=2]\n  Reading the alias conversion "
                        "table file: " +
                            table.path() + "\n",
                        0),
            0u);

  const std::string cols = opts + ",alias_keycol=1,alias_newcol=2";
  r = read_text(text, cols.c_str());
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(strs(r.d->aliases), (Names{"g1", "g2", "g3", "FROM2", "g5"}));

  // A table that cannot be read is reported and the aliases are the names.
  r = read_text("g1\tb\t1\n", "alias_table=/nonexistent/table.txt");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(strs(r.d->aliases), (Names{"b"}));
  EXPECT_NE(r.err.find("WARNING: Failed to read: /nonexistent/table.txt\n"), std::string::npos);

  // An alias the table gives is refused as one read from the file.
  TempFile escapes("g1\tAL\x1b[0m\n");
  expect_refused(
      "g0\t1\ng1\t2\n", ("l=1,alias_table=" + escapes.path()).c_str(),
      "Reading the data matrix. [labels=1]\n  Reading the alias conversion table file: " +
          escapes.path() + "\nERROR: a control byte in the alias that the alias table " +
          escapes.path() + " gives the node at line 2: \"AL\\x1b[0m\"\n");
}

TEST(DataMatrixStrConv, LooksTheNameUp) {
  FILE* fp = std::tmpfile();
  std::fputs("a\tA\tAA\nb\tNA\tBB\nc\n", fp);
  std::rewind(fp);
  VLK_StrMatrix* table = VLK_StrMatrix_read_fp(fp);
  std::fclose(fp);
  struct Case {
    const char* name;
    int keycol, newcol;
    const char* alias;
  } cases[] = {
      {"a", 0, 1, "A"},  {"a", 0, 2, "AA"},  {"b", 0, 1, "b"},  {"b", 0, 2, "BB"},
      {"c", 0, 1, "c"},  {"zz", 0, 1, "zz"}, {"a", 0, 7, "a"},  {"A", 1, 0, "a"},
      {"a", -1, 1, "a"}, {"a", 0, -1, "a"},  {"AA", 2, 1, "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.keycol) + " " +
                 std::to_string(c.newcol));
    char* alias = VLK_DataMatrix_str_conv(c.name, table, c.keycol, c.newcol);
    EXPECT_STREQ(alias, c.alias);
    EXPECT_NE(alias, c.name);  // always a new copy
    std::free(alias);
  }
  char* alias = VLK_DataMatrix_str_conv("a", nullptr, 0, 1);
  EXPECT_STREQ(alias, "a");
  std::free(alias);
  VLK_StrMatrix_delete(table);
}

TEST(DataMatrixRead, Discretize) {
  Read r = read_text("g\ta\t0\t1.5\t3\n", "D=3");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(values(r.d.get()), (Values{0, 1, 2}));
  EXPECT_EQ(r.d->category, 1);
  ASSERT_NE(r.d->labels, nullptr);
  EXPECT_EQ(strs(&r.d->labels[0]), (Names{"Cat_1", "Cat_2", "Cat_3"}));

  r = read_text("g\ta\t0\t1.5\t3\n", "discretize=1");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(values(r.d.get()), (Values{0, 1.5, 3}));
  EXPECT_EQ(r.d->category, 0);

  // More categories than samples; a number beyond an int is refused as such.
  const std::string head = std::string(kBanner) + "  1 nodes  x  3 samples read.\n" +
                           "  Requires 24 [bytes] (0 [MiB])\n" +
                           "VLK_Data: discretizaing ... (categories = ";
  const std::string bound =
      "ERROR: VLK_Data_discretize(): the number of categories must not "
      "exceed the number of samples (3): ";
  for (const char* k : {"4", "2147483647"})
    expect_refused("g\ta\t0\t1.5\t3\n", ("D=" + std::string(k)).c_str(),
                   head + k + ")\n" + bound + k + "\n");
  expect_refused("g\ta\t0\t1.5\t3\n", "D=99999999999",
                 "ERROR: option \"D\": \"99999999999\" is out of the range of an int "
                 "(-2147483648 to 2147483647)\n"
                 "ERROR: unknown input file argument specified: D\n");
}

struct FatalCase {
  const char* what;
  std::string text;
  const char* options;
  std::string err;
};

TEST(DataMatrixRead, RefusesMalformedInput) {
  const std::string b = kBanner;
  const FatalCase cases[] = {
      {"a row with one field more, counted from the first line",
       "ign\nhdr\ng1\ta\t1\t2\ng2\ta\t1\t2\t3\n", "I=1,h=1",
       b + "ERROR: the number of columns inconsistent: line 4\n"},
      {"a row with one field less", "g1\ta\t1\t2\ng2\ta\t1\n", nullptr,
       b + "ERROR: the number of columns inconsistent: line 2\n"},
      {"a first data row without value fields", "h\ng1\ta1\ng2\ta2\n", "h=1",
       b + "ERROR: no value columns after the labels: line 2\n"},
      {"fewer fields than label columns", "g1\ta1\n", "l=3",
       "Reading the data matrix. [labels=3]\nERROR: no value columns after the labels: line 1\n"},
      {"a DUL label with one separator", "A__B\t1\n", "DUL,l=1",
       "Reading the data matrix. [labels=1]\n"
       "ERROR: the label is not of the form alias__middle__name: line 1\n"},
      {"a DUL label without separator", "g\tx\t1\n", "DUL",
       b + "ERROR: the label is not of the form alias__middle__name: line 1\n"},
      {"a repeated name with dup on", "g1\ta\t1\ng2\ta\t2\ng1\ta\t3\n", nullptr,
       b + "ERROR: same node name found: g1 at line 3\n"},
      {"nan", "g\ta\t1\tnan\n", nullptr,
       b + "ERROR: not a finite value at line 1, column 4: nan\n"},
      {"inf", "x\n\ng\ta\t-inf\n", "I=2",
       b + "ERROR: not a finite value at line 3, column 3: -inf\n"},
      {"overflow to infinity", "g\ta\t1e999\n", nullptr,
       b + "ERROR: not a finite value at line 1, column 3: 1e999\n"},
      // A value field is wholly a number, blanks around it and a final CR aside.
      {"NA", "g\ta\t1\tNA\n", nullptr, b + "ERROR: not a number at line 1, column 4: \"NA\"\n"},
      {"a word", "g\ta\tabc\t2\n", nullptr,
       b + "ERROR: not a number at line 1, column 3: \"abc\"\n"},
      {"a header row read as data, with the first sample name", "Feature\tA\tB\ng\ta\t1\t2\n",
       "l=1",
       "Reading the data matrix. [labels=1]\nERROR: not a number at line 1, column 2: \"A\"\n"},
      {"an empty field", "g\ta\t1\t\t2\n", nullptr,
       b + "ERROR: not a number at line 1, column 4: \"\"\n"},
      {"a blank field", "g\ta\t1\t \r\n", nullptr,
       b + "ERROR: not a number at line 1, column 4: \" \\r\"\n"},
      {"a number with text after it", "g\ta\t12abc\n", nullptr,
       b + "ERROR: not a number at line 1, column 3: \"12abc\"\n"},
      {"two numbers in one field", "g\ta\t1 2\n", nullptr,
       b + "ERROR: not a number at line 1, column 3: \"1 2\"\n"},
      {"hexadecimal", "g\ta\t0x1A\n", nullptr,
       b + "ERROR: not a number at line 1, column 3: \"0x1A\"\n"},
      {"a comma as decimal point", "g\ta\t1,5\n", nullptr,
       b + "ERROR: not a number at line 1, column 3: \"1,5\"\n"},
      // A NUL byte once glued the next line on: 2 rows of 1 value read as 1 row of 2.
      {"a NUL byte in a data row", "g1\ta\t1\0\ng2\ta\t2\n"s, nullptr,
       b + "ERROR: a NUL byte in line 1\n"},
      {"a NUL byte in an ignored line", "x\0\ng1\ta\t1\n"s, "I=1",
       b + "ERROR: a NUL byte in line 1\n"},
      // A name or alias is written into every result file and shown on terminals: no control
      // bytes, wherever the reader takes it from.
      {"an escape sequence in a name", "g1\ta\t1\ng\x1b[2J\ta\t2\n", nullptr,
       b + "ERROR: a control byte in the node name at line 2, column 1: \"g\\x1b[2J\"\n"},
      {"a bell in an alias", "g\ta\x07\t1\n", nullptr,
       b + "ERROR: a control byte in the alias at line 1, column 2: \"a\\x07\"\n"},
      {"a CR inside a name, which only LF ends", "g\rx\ta\t1\n", nullptr,
       b + "ERROR: a control byte in the node name at line 1, column 1: \"g\\rx\"\n"},
      {"a TAB in a name between commas", "g\tx,a,1\n", "csv",
       b + "ERROR: a control byte in the node name at line 1, column 1: \"g\\tx\"\n"},
      {"DEL in a one-label name", "g\x7f\t1\n", "l=1",
       "Reading the data matrix. [labels=1]\n"
       "ERROR: a control byte in the node name at line 1, column 1: \"g\\x7f\"\n"},
      {"a control byte in a DUL alias", "A\x01__m__B\t1\n", "DUL,l=1",
       "Reading the data matrix. [labels=1]\n"
       "ERROR: a control byte in the alias at line 1, column 1: \"A\\x01\"\n"},
      {"negative label columns", "g\t1\n", "l=-1",
       "Reading the data matrix. [labels=-1]\nERROR: VLK_DataMatrix: label_columns must not be "
       "negative: -1\n"},
      {"an unknown key", "g\ta\t1\n", "h=1,foo=2",
       "ERROR: unknown input file argument specified: foo\n"},
      {"an int option without value", "g\ta\t1\n", "l=1,h",
       "ERROR: unknown input file argument specified: h\n"},
      {"an int option that is no number", "g\ta\t1\n", "h=1,l=one",
       "ERROR: option \"l\": \"one\" is not an integer\n"
       "ERROR: unknown input file argument specified: l\n"},
      {"a flag given off", "g\ta\t1\n", "csv=off",
       "ERROR: unknown input file argument specified: csv\n"},
  };
  for (const FatalCase& c : cases) {
    SCOPED_TRACE(c.what);
    expect_refused(c.text, c.options, c.err);
  }
}

// ---- whole-table path: categorical and transposed ----

TEST(DataMatrixTable, CategoricalNumbersTextsPerNode) {
  const Read r = read_text("g1\ta1\tlo\thi\tlo\ng2\ta2\tx\tx\ty\n", "cat");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(r.d->category, 1);
  EXPECT_EQ(values(r.d.get()), (Values{0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(strs(&r.d->labels[0]), (Names{"lo", "hi"}));
  EXPECT_EQ(strs(&r.d->labels[1]), (Names{"x", "y"}));
  EXPECT_EQ(strs(r.d->names), (Names{"g1", "g2"}));
  EXPECT_EQ(strs(r.d->aliases), (Names{"a1", "a2"}));
  EXPECT_EQ(r.err,
            "Reading the data matrix. [labels=2]\n"
            "  2 nodes  x 3 samples read.\n"
            "    Node 1: 2 categories.\n"
            "      0: lo, 1: hi\n"
            "    Node 2: 2 categories.\n"
            "      0: x, 1: y\n");
}

TEST(DataMatrixTable, Orientations) {
  struct Case {
    const char* what;
    std::string text;
    const char* options;
    Names names, aliases, sample_names;
    int samples;
    Values values;
  } cases[] = {
      {"normal orientation with a header line",
       "id\tal\tS1\tS2\ng1\ta1\t1\t2\ng2\ta2\t3\t4",
       "C,h=1",
       {"g1", "g2"},
       {"a1", "a2"},
       {"S1", "S2"},
       2,
       {0, 1, 0, 1}},
      {"transposed: name and alias lines, one line per sample",
       "n1\tn2\tn3\na1\ta2\ta3\n1\t2\t3\n4\t5\t6\n",
       "trans",
       {"n1", "n2", "n3"},
       {"a1", "a2", "a3"},
       {},
       2,
       {1, 4, 2, 5, 3, 6}},
      {"transposed with a header field per line",
       "x\tn1\tn2\ny\ta1\ta2\ns1\t1\t2\ns2\t3\t4\n",
       "trans,h=1",
       {"n1", "n2"},
       {"a1", "a2"},
       {"s1", "s2"},
       2,
       {1, 3, 2, 4}},
      {"transposed without labels: nodes counted from 0",
       "1,2\r\n3,4\r\n",
       "trans,l=0,csv",
       {"node_0", "node_1"},
       {"node_0", "node_1"},
       {},
       2,
       {1, 3, 2, 4}},
      {"one label line", "n1\tn2\n7\t8\n", "trans,l=1", {"n1", "n2"}, {"n1", "n2"}, {}, 1, {7, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = read_text(c.text, c.options);
    ASSERT_NE(r.d, nullptr);
    EXPECT_EQ(strs(r.d->names), c.names);
    EXPECT_EQ(strs(r.d->aliases), c.aliases);
    EXPECT_EQ(strs(r.d->sample_names), c.sample_names);
    EXPECT_EQ(r.d->n, c.samples);
    EXPECT_EQ(values(r.d.get()), c.values);
  }
}

TEST(DataMatrixTable, RefusesShortLinesAndEmptyShapes) {
  const std::string b = kBanner;
  const FatalCase cases[] = {
      {"a short sample line", "n1\tn2\na1\ta2\n1\t2\n3\n", "trans",
       b + "ERROR: the number of columns inconsistent: line 4\n"},
      {"a short label line", "n1\na1\ta2\n1\t2\n", "trans",
       b + "ERROR: the header or label line has too few columns: line 1\n"},
      {"a short header line", "S1\ng1\ta1\tx\ty\n", "cat,h=1",
       b + "ERROR: the header or label line has too few columns: line 1\n"},
      {"a short node line", "g1\ta1\tx\ty\ng2\ta2\tx\n", "cat",
       b + "ERROR: the number of columns inconsistent: line 2\n"},
      {"no value columns", "g1\ta1\n", "cat",
       b + "ERROR: no value columns after the labels: line 1\n"},
      {"a non-finite cell", "n1\na1\ninf\n", "trans",
       b + "ERROR: not a finite value at line 3, column 1: inf\n"},
      {"a cell that is no number", "n1\tn2\na1\ta2\n1\t2x\n", "trans",
       b + "ERROR: not a number at line 3, column 2: \"2x\"\n"},
      {"a NUL byte in a sample line", "n1\tn2\na1\ta2\n1\t2\0\t3\n3\t4\n"s, "trans",
       b + "ERROR: a NUL byte in line 3\n"},
      {"a NUL byte in a category", "g1\ta1\tx\ty\ng2\ta2\tx\0y\tz\n"s, "cat",
       b + "ERROR: a NUL byte in line 2\n"},
      {"a control byte in a name of the name line", "n1\tn\x1b\na1\ta2\n1\t2\n", "trans,h=0",
       b + "ERROR: a control byte in the node name at line 1, column 2: \"n\\x1b\"\n"},
      {"a control byte in an alias of the alias line", "x\tn1\ny\t\x7f\n1\t2\n", "trans,h=1",
       b + "ERROR: a control byte in the alias at line 2, column 2: \"\\x7f\"\n"},
      {"a control byte in a categorical alias", "g1\ta\x01\tx\n", "cat",
       b + "ERROR: a control byte in the alias at line 1, column 2: \"a\\x01\"\n"},
  };
  for (const FatalCase& c : cases) {
    SCOPED_TRACE(c.what);
    expect_refused(c.text, c.options, c.err);
  }
  // Nothing after the label lines: an empty data set.
  const Read r = read_text("n1\tn2\na1\ta2\n", "trans");
  ASSERT_NE(r.d, nullptr);
  EXPECT_EQ(r.d->p, 0);
  EXPECT_EQ(r.d->n, 0);
}

// ---- files ----

TEST(DataMatrixFiles, OpenFailuresWarn) {
  CaptureErr err;
  EXPECT_EQ(VLK_DataMatrix_read_file("/nonexistent/m.txt", nullptr), nullptr);
  EXPECT_EQ(VLK_DataMatrix_read_file_sa("/nonexistent/m.txt", "l=1"), nullptr);
  EXPECT_EQ(err.text(),
            "WARNING: Cannot open file: /nonexistent/m.txt\n"
            "WARNING: Cannot open file: /nonexistent/m.txt\n");
}

// Read from a path, every refusal of the content names the file in a line below its own; the
// program passes the path of its input with the stream it opened.
TEST(DataMatrixFiles, RefusalsNameTheFile) {
  const std::string b = kBanner;
  const FatalCase cases[] = {
      {"a value", "g\ta\t1\nh\tb\tx\n", nullptr,
       b + "ERROR: not a number at line 2, column 3: \"x\"\n"},
      {"a row too short", "g\ta\t1\t2\nh\tb\t1\n", nullptr,
       b + "ERROR: the number of columns inconsistent: line 2\n"},
      {"a name twice", "g\ta\t1\ng\tb\t2\n", nullptr,
       b + "ERROR: same node name found: g at line 2\n"},
      {"a control byte", "g\x02\ta\t1\n", nullptr,
       b + "ERROR: a control byte in the node name at line 1, column 1: \"g\\x02\"\n"},
      {"a NUL byte", "g\ta\t1\0\n"s, nullptr, b + "ERROR: a NUL byte in line 1\n"},
      {"a DUL label", "g\t1\n", "DUL,l=1",
       "Reading the data matrix. [labels=1]\n"
       "ERROR: the label is not of the form alias__middle__name: line 1\n"},
      {"a whole-table cell", "n1\na1\nnan\n", "trans",
       b + "ERROR: not a finite value at line 3, column 1: nan\n"},
      {"a whole-table shape", "n1\na1\ta2\n1\t2\n", "trans",
       b + "ERROR: the header or label line has too few columns: line 1\n"},
  };
  for (const FatalCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempFile file(c.text);
    vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete> list(c.options ? VLK_KeyValues_parse(c.options)
                                                                   : nullptr);
    EXPECT_FATAL_EXIT(VLK_Data_delete(VLK_DataMatrix_read_file(file.path().c_str(), list.get())),
                      c.err + "  file: " + file.path() + "\n");
    EXPECT_FATAL_EXIT(
        {
          FILE* fp = std::fopen(file.path().c_str(), "r");
          VLK_Data_delete(vlk::read_data_matrix(fp, list.get(), "data\x1b.txt"));
        },
        c.err + "  file: data\\x1b.txt\n");
  }
  // Option errors are no fault of the file.
  TempFile file("g\ta\t1\n");
  EXPECT_FATAL_EXIT(VLK_Data_delete(VLK_DataMatrix_read_file_sa(file.path().c_str(), "foo")),
                    "ERROR: unknown input file argument specified: foo\n");
}

TEST(DataMatrixFiles, ReadFileSaParsesTheOptions) {
  TempFile file("Feature\tA\tB\nx\t1\t2\n");
  CaptureErr err;
  DataPtr d(VLK_DataMatrix_read_file_sa(file.path().c_str(), "h=1,l=1"));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(strs(d->names), (Names{"x"}));
  EXPECT_EQ(values(d.get()), (Values{1, 2}));
}

TEST(DataMatrixFiles, ReadFileSaRefusesAnOptionTextTheParserRefuses) {
  TempFile file("Feature\tA\tB\nx\t1\t2\n");
  CaptureErr err;
  EXPECT_EQ(VLK_DataMatrix_read_file_sa(file.path().c_str(), "h=1,l={1"), nullptr);
  EXPECT_EQ(err.text().rfind("ERROR: VLK_KeyValues_parse(): unclosed '{'", 0), 0u) << err.text();
}

TEST(DataMatrixFiles, ReadFilesMergesNewNodes) {
  TempFile a("g1\ta1\t1\t2\ng2\ta2\t3\t4\n");
  TempFile b("g2\tb2\t9\t9\ng3\tb3\t5\t6\n");
  VLK_StrArray* paths = VLK_StrArray_new();
  VLK_StrArray_add_copy(paths, a.path().c_str());
  VLK_StrArray_add_copy(paths, "/nonexistent/x.txt");
  VLK_StrArray_add_copy(paths, b.path().c_str());
  CaptureErr err;
  DataPtr d(VLK_DataMatrix_read_files(paths, nullptr));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(strs(d->names), (Names{"g1", "g2", "g3"}));
  EXPECT_EQ(strs(d->aliases), (Names{"a1", "a2", "b3"}));
  EXPECT_EQ(values(d.get()), (Values{1, 2, 3, 4, 5, 6}));
  const std::string text = err.text();
  EXPECT_NE(text.find("Reading: /nonexistent/x.txt\nWARNING: Cannot open file: /nonexistent/x.txt\n"
                      "WARNING: VLK_DataMatrix: cannot read file: /nonexistent/x.txt\n"),
            std::string::npos);
  EXPECT_NE(text.find("  Added 1 new non-redundant nodes.\n"), std::string::npos);

  VLK_StrArray_clear_all(paths);
  VLK_StrArray_add_copy(paths, "/nonexistent/x.txt");
  EXPECT_EQ(VLK_DataMatrix_read_files(paths, nullptr), nullptr);
  VLK_StrArray_delete_all(paths);
}

// ---- value-only readers ----

struct Values2 {
  std::vector<double> v;
  int rows = -1, cols = -1;
};

Values2 read_values(FILE* fp, int header_rows, int label_columns) {
  Values2 out;
  double* block =
      VLK_DataMatrix_read_values_fp(fp, header_rows, label_columns, &out.rows, &out.cols);
  if (block != nullptr) out.v.assign(block, block + static_cast<size_t>(out.rows) * out.cols);
  std::free(block);
  return out;
}

Values2 read_values_path(const std::string& path, int header_rows, int label_columns) {
  FILE* fp = std::fopen(path.c_str(), "r");
  Values2 out = read_values(fp, header_rows, label_columns);
  std::fclose(fp);
  return out;
}

Values2 read_values_text(const std::string& text, int header_rows, int label_columns) {
  TempFile file(text);
  return read_values_path(file.path(), header_rows, label_columns);
}

void expect_values_refused(const std::string& text, int header_rows, int label_columns,
                           const std::string& err) {
  TempFile file(text);
  EXPECT_FATAL_EXIT(read_values_path(file.path(), header_rows, label_columns), err);
}

TEST(DataMatrixValues, ReadsTheValueBlock) {
  Values2 r = read_values_text("h1\th2\th3\ng1\t1\t2\ng2\t3\t4", 1, 1);
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(r.cols, 2);
  EXPECT_EQ(r.v, (Values{1, 2, 3, 4}));

  r = read_values_text("only a header\n", 1, 0);
  EXPECT_EQ(r.rows, 0);
  EXPECT_EQ(r.cols, 0);
  EXPECT_TRUE(r.v.empty());
}

// The line count that sizes the block cannot be taken from a pipe; the reader still keeps every
// row and writes nowhere else.
TEST(DataMatrixValues, StreamsThatCannotBeCountedStillReadEveryRow) {
  std::string text;
  Values expected;
  for (int i = 0; i < 300; ++i) {
    text += "g" + std::to_string(i) + "\t" + std::to_string(i) + "\t" + std::to_string(-i) + "\n";
    expected.push_back(i);
    expected.push_back(-i);
  }
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fds[1]);
  });
  FILE* fp = fdopen(fds[0], "r");
  const Values2 r = read_values(fp, 0, 1);
  writer.join();
  std::fclose(fp);
  EXPECT_EQ(r.rows, 300);
  EXPECT_EQ(r.cols, 2);
  EXPECT_EQ(r.v, expected);
}

TEST(DataMatrixValues, BufferReaderStaysInsideTheBuffer) {
  TempFile file("g1\t1\t2\ng2\t3\t4\n");
  double buf[5] = {-1, -1, -1, -1, -1};
  int rows = -1, cols = -1;
  FILE* fp = std::fopen(file.path().c_str(), "r");
  EXPECT_EQ(VLK_DataMatrix_read_values_buff_fp(fp, 0, 1, buf, &rows, &cols, 4), 0);
  std::fclose(fp);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 2);
  EXPECT_EQ(Values(buf, buf + 5), (Values{1, 2, 3, 4, -1}));

  const auto read_into = [&](const std::string& path, size_t capacity) {
    FILE* in = std::fopen(path.c_str(), "r");
    VLK_DataMatrix_read_values_buff_fp(in, 0, 1, buf, &rows, &cols, capacity);
    std::fclose(in);
  };
  EXPECT_FATAL_EXIT(read_into(file.path(), 3), "ERROR: VLK_DataMatrix: Buffer full.\n");
  TempFile short_row("g1\t1\t2\ng2\t3\n");
  EXPECT_FATAL_EXIT(read_into(short_row.path(), 8),
                    "ERROR: the number of columns inconsistent at line 2.\n");
  TempFile nul("g1\t1\t2\ng2\t3\0\t4\n"s);
  EXPECT_FATAL_EXIT(read_into(nul.path(), 8), "ERROR: a NUL byte in line 2\n");
}

TEST(DataMatrixValues, RefusesMalformedRows) {
  expect_values_refused("h\ng1\t1\t2\ng2\t3\t4\t5\n", 1, 1,
                        "ERROR: the number of columns inconsisitent at line 3.\n");
  expect_values_refused("g1\ng2\n", 0, 1, "ERROR: no value columns after the labels: line 1\n");
  expect_values_refused("g1\tnan\n", 0, 1, "ERROR: not a finite value at line 1, column 2: nan\n");
  expect_values_refused("g1\t1\ng2\tNA\n", 0, 1,
                        "ERROR: not a number at line 2, column 2: \"NA\"\n");
  expect_values_refused("h\0\ng1\t1\n"s, 1, 1, "ERROR: a NUL byte in line 1\n");
  expect_values_refused("g1\t1\0\ng2\t2\n"s, 0, 1, "ERROR: a NUL byte in line 1\n");
  expect_values_refused("g1\t1\n", 0, -2,
                        "ERROR: VLK_DataMatrix: label_columns must not be negative: -2\n");
}

}  // namespace
