#include "VLK_DataMatrix.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "VLK_ArgDef.h"
#include "VLK_Data_merge.h"
#include "VLK_Data_resample.h"
#include "VLK_DoubleArray.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_option_help.h"
#include "vlk_read_files.h"

namespace {

constexpr char kNoMemory[] = "ERROR: VLK_DataMatrix: memory allocation failed.\n";

using vlk::DataPtr;
using vlk::DoubleArrayPtr;
using vlk::FilePtr;
using vlk::KeyValuesPtr;
using StrMatrixPtr = vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete>;

char* copy_or_die(std::string_view s) { return vlk::copy_or_die(s, kNoMemory); }

void add_copy(VLK_StrArray* a, std::string_view s) { vlk::add_copy(a, s, kNoMemory); }

// Converts the `count` fields after the first `skip` of a line that holds exactly
// skip + count fields (the caller has counted its delimiters).
void convert_fields(const char* line, const char* end, char delim, size_t skip, size_t count,
                    double* out, int lineno, const vlk::DataSource& src) {
  const char* p = line;
  for (size_t k = 0; k < skip; ++k)
    p = static_cast<const char*>(std::memchr(p, delim, static_cast<size_t>(end - p))) + 1;
  for (size_t k = 0; k < count; ++k) {
    const char* q =
        k + 1 < count
            ? static_cast<const char*>(std::memchr(p, delim, static_cast<size_t>(end - p)))
            : end;
    out[k] =
        src.finite_value(std::string_view(p, static_cast<size_t>(q - p)), lineno, skip + k + 1);
    p = q + 1;
  }
}

size_t count_fields(std::string_view line, char delim) {
  return static_cast<size_t>(std::count(line.begin(), line.end(), delim)) + 1;
}

std::string_view field_at(std::string_view line, char delim, size_t k) {
  for (; k > 0; --k) {
    const size_t p = line.find(delim);
    if (p == std::string_view::npos) return {};
    line.remove_prefix(p + 1);
  }
  return line.substr(0, line.find(delim));
}

void refuse_negative(const char* what, int value) {
  if (value < 0) vlk::fatal("ERROR: VLK_DataMatrix: %s must not be negative: %d\n", what, value);
}

// Room for `more` values after the current ones, doubling so that reading stays linear.
void reserve_more(VLK_DoubleArray* a, size_t more) {
  if (more <= a->capacity - a->size) return;
  if (more > SIZE_MAX / sizeof(double) - a->size) vlk::fatal(kNoMemory);
  const size_t need = a->size + more;
  const size_t doubled = a->capacity <= SIZE_MAX / (2 * sizeof(double)) ? 2 * a->capacity : need;
  if (!vlk::realloc_to(a, std::max(need, doubled))) vlk::fatal(kNoMemory);
}

int lines_or_die(int lineno, const vlk::DataSource& src) {
  if (lineno == INT_MAX) src.refuse("ERROR: VLK_DataMatrix: too many lines.\n");
  return lineno + 1;
}

int samples_or_die(size_t fields, size_t labels, int lineno, const vlk::DataSource& src) {
  if (fields <= labels) src.refuse("ERROR: no value columns after the labels: line %d\n", lineno);
  if (fields - labels > static_cast<size_t>(INT_MAX))
    src.refuse("ERROR: too many columns: line %d\n", lineno);
  return static_cast<int>(fields - labels);
}

// A name or alias (what) from the field at line, column (from 1).
void check_label(std::string_view text, const char* what, int line, size_t column,
                 const vlk::DataSource& src) {
  if (vlk::has_control_byte(text))
    src.refuse("ERROR: a control byte in the %s at line %d, column %zu: \"%s\"\n", what, line,
               column, vlk::printable(text).c_str());
}

struct Options {
  int header_rows = 0;
  int label_columns = 2;
  int categorical = 0;
  std::optional<std::string> alias_table;
  int alias_keycol = 0;
  int alias_newcol = 1;
  std::optional<std::string> delim;
  int csv = 0;
  int trans = 0;
  int discretize = -1;
  int ignore = 0;
  int dul = 0;
  int dup = 1;
};

// The reader's options over *o; the help prints the same rows.
auto option_table(Options* o) {
  return std::to_array<VLK_ArgDef>({
      vlk::arg_int("header_rows", &o->header_rows),
      vlk::arg_int("h", &o->header_rows),
      vlk::arg_int("H", &o->header_rows),
      vlk::arg_int("label_columns", &o->label_columns),
      vlk::arg_int("l", &o->label_columns),
      vlk::arg_int("L", &o->label_columns),
      vlk::arg_flag_on("C", &o->categorical),
      vlk::arg_flag_on("c", &o->categorical),
      vlk::arg_flag_on("categorical", &o->categorical),
      vlk::arg_flag_on("cat", &o->categorical),
      vlk::arg_call3("alias_table", vlk::bind_last_string, &o->alias_table),
      vlk::arg_int("alias_keycol", &o->alias_keycol),
      vlk::arg_int("alias_newcol", &o->alias_newcol),
      vlk::arg_call3("delim", vlk::bind_last_string, &o->delim),
      vlk::arg_flag_on("csv", &o->csv),
      vlk::arg_flag_on("trans", &o->trans),
      vlk::arg_int("discretize", &o->discretize),
      vlk::arg_int("D", &o->discretize),
      vlk::arg_int("ignore", &o->ignore),
      vlk::arg_int("I", &o->ignore),
      vlk::arg_flag_on("DUL", &o->dul),
      vlk::arg_onoff("dup", &o->dup),
      vlk::arg_end(),
  });
}

void bind_options(const VLK_KeyValues* list, Options* o) {
  const auto table = option_table(o);
  if (const char* key = vlk::rejected_key(list, table.data()))
    vlk::fatal("ERROR: unknown input file argument specified: %s\n", key);
}

// Name and alias of one data row (r: 1-based data row number). The views point into the line,
// into `generated` or into `converted`, so a Labels record stays where it was filled.
struct Labels {
  std::string_view name, alias;
  size_t name_column = 0, alias_column = 0;  // the fields they come from (from 1), 0: none
  std::string generated;   // "node_%d", or the first field as a C string for the table
  vlk::CharPtr converted;  // the alias from the table
  Labels() = default;
  Labels(const Labels&) = delete;
  Labels& operator=(const Labels&) = delete;
};

void row_labels(std::string_view line, char delim, const Options& o, const VLK_StrMatrix* table,
                int r, int lineno, const vlk::DataSource& src, Labels& l) {
  if (o.label_columns == 0) {
    l.generated = "node_" + std::to_string(r);
    l.name = l.alias = l.generated;
    return;
  }
  const size_t cut = line.find(delim);
  const std::string_view first = line.substr(0, cut);
  if (table != nullptr) {
    // The table is searched with a C string; the first field is copied out of the line.
    l.generated = first;
    l.converted.reset(
        VLK_DataMatrix_str_conv(l.generated.c_str(), table, o.alias_keycol, o.alias_newcol));
    if (!l.converted) vlk::fatal(kNoMemory);
    l.name = l.generated;
    l.alias = l.converted.get();
    l.name_column = 1;
  } else if (o.dul) {
    // alias__middle__name; the middle part is dropped.
    const size_t a = first.find("__");
    const size_t b = a == std::string_view::npos ? a : first.find("__", a + 2);
    if (b == std::string_view::npos)
      src.refuse("ERROR: the label is not of the form alias__middle__name: line %d\n", lineno);
    const size_t c = first.find("__", b + 2);
    l.alias = first.substr(0, a);
    l.name = first.substr(b + 2, c == std::string_view::npos ? c : c - b - 2);
    l.name_column = l.alias_column = 1;
  } else if (o.label_columns == 1) {
    l.name = l.alias = first;
    l.name_column = l.alias_column = 1;
  } else {
    if (cut == std::string_view::npos) src.refuse("ERROR: file broken at line %d.\n", lineno);
    l.name = first;
    l.alias = field_at(line, delim, 1);
    l.name_column = 1;
    l.alias_column = 2;
  }
}

VLK_Data* read_rows(FILE* fp, const Options& o, char delim, const vlk::DataSource& src) {
  refuse_negative("label_columns", o.label_columns);
  refuse_negative("header_rows", o.header_rows);
  refuse_negative("ignore", o.ignore);
  DataPtr d(VLK_Data_new());

  StrMatrixPtr table;
  if (o.alias_table) {
    std::fprintf(VELK_ERR, "  Reading the alias conversion table file: %s\n",
                 o.alias_table->c_str());
    table.reset(VLK_StrMatrix_read_file(o.alias_table->c_str()));
    if (!table) std::fprintf(VELK_ERR, "WARNING: Failed to read: %s\n", o.alias_table->c_str());
  }

  DoubleArrayPtr values(VLK_DoubleArray_new());
  if (!values) vlk::fatal(kNoMemory);
  std::unordered_set<std::string_view> seen;  // views of the stored names
  const long long skipped = static_cast<long long>(o.ignore) + o.header_rows;
  const auto labels = static_cast<size_t>(o.label_columns);
  vlk::LineBuffer buf(128);
  if (buf.data == nullptr) vlk::fatal(kNoMemory);
  int lineno = 0;
  int rows = 0;
  int samples = -1;
  while (buf.read_lf(fp)) {
    lineno = lines_or_die(lineno, src);
    src.check_no_nul(buf, static_cast<size_t>(lineno));
    if (lineno <= skipped) continue;
    const size_t len = buf.len;
    const std::string_view line(buf.data, len);
    const size_t n = count_fields(line, delim);
    if (samples < 0) {
      samples = samples_or_die(n, labels, lineno, src);
    } else if (n != labels + static_cast<size_t>(samples)) {
      src.refuse("ERROR: the number of columns inconsistent: line %d\n", lineno);
    }
    if (rows == INT_MAX) src.refuse("ERROR: VLK_DataMatrix: too many lines.\n");
    ++rows;

    char* name;
    char* alias;
    {
      Labels l;
      row_labels(line, delim, o, table.get(), rows, lineno, src, l);
      if (l.name_column != 0) check_label(l.name, "node name", lineno, l.name_column, src);
      if (l.alias_column != 0) {
        check_label(l.alias, "alias", lineno, l.alias_column, src);
      } else if (l.name_column != 0 && vlk::has_control_byte(l.alias)) {
        src.refuse(
            "ERROR: a control byte in the alias that the alias table %s gives the node at line %d: "
            "\"%s\"\n",
            vlk::printable(o.alias_table.value_or("")).c_str(), lineno,
            vlk::printable(l.alias).c_str());
      }
      name = copy_or_die(l.name);
      alias = copy_or_die(l.alias);
    }
    if (o.dup && !seen.insert(std::string_view(name)).second)
      src.refuse("ERROR: same node name found: %s at line %d\n", name, lineno);
    if (VLK_StrArray_add(d->names, name) == nullptr) vlk::fatal(kNoMemory);
    if (VLK_StrArray_add(d->aliases, alias) == nullptr) vlk::fatal(kNoMemory);

    reserve_more(values.get(), static_cast<size_t>(samples));
    convert_fields(buf.data, buf.data + len, delim, labels, static_cast<size_t>(samples),
                   values->data + values->size, lineno, src);
    values->size += static_cast<size_t>(samples);
  }
  if (samples < 0) samples = 0;  // no data row: an empty data set

  std::fprintf(VELK_ERR, "  %d nodes  x  %d samples read.\n", rows, samples);
  vlk::print_requires(VLK_Data_cells(rows, samples));
  d->X = d->Y = vlk::take_block(values.get());
  d->n = samples;
  d->p = rows;
  if (o.discretize >= 2) VLK_Data_discretize(d.get(), o.discretize);
  return d.release();
}

// ---- whole-table path ----

struct TableShape {
  int nodes = 0;
  int samples = 0;
};

// Checks that every line the cells, names and labels come from carries its fields.
TableShape table_shape(const VLK_StrMatrix* m, int trans, size_t header_rows, size_t label_columns,
                       const vlk::DataSource& src) {
  const size_t lines = VLK_StrMatrix_lines(m);
  const auto too_few = [&](size_t i) {
    src.refuse("ERROR: the header or label line has too few columns: line %zu\n", i + 1);
  };
  const auto inconsistent = [&](size_t i) {
    src.refuse("ERROR: the number of columns inconsistent: line %d\n", static_cast<int>(i + 1));
  };
  // The lines holding one entry per value column, and those naming them.
  const size_t first = trans ? label_columns : header_rows;
  const size_t labels = trans ? header_rows : label_columns;
  if (lines <= first) return {};
  if (lines - first > static_cast<size_t>(INT_MAX))
    src.refuse("ERROR: VLK_DataMatrix: too many lines.\n");
  const size_t width = VLK_StrMatrix_cols(m, first);
  const int columns = samples_or_die(width, labels, static_cast<int>(first + 1), src);
  for (size_t i = first; i < lines; ++i)
    if (VLK_StrMatrix_cols(m, i) != width) inconsistent(i);
  // Normal: line 0 holds the sample names. Transposed: lines 0 and 1 the names and aliases.
  const size_t naming = trans ? std::min<size_t>(label_columns, 2) : (header_rows ? 1 : 0);
  for (size_t i = 0; i < naming; ++i)
    if (VLK_StrMatrix_cols(m, i) < width) too_few(i);
  TableShape s;
  if (trans) {
    s.nodes = columns;
    s.samples = static_cast<int>(lines - first);
  } else {
    s.nodes = static_cast<int>(lines - first);
    s.samples = columns;
  }
  return s;
}

VLK_Data* read_table(FILE* fp, int trans, int header_rows, int label_columns, char delim,
                     int categorical, const vlk::DataSource& src) {
  refuse_negative("header_rows", header_rows);
  refuse_negative("label_columns", label_columns);
  size_t nul_line = 0;
  StrMatrixPtr m(vlk::read_delim_fp(fp, delim, &nul_line));
  if (nul_line != 0) src.refuse_nul_line(nul_line);
  if (!m) return nullptr;
  const auto hr = static_cast<size_t>(header_rows);
  const auto lc = static_cast<size_t>(label_columns);
  const TableShape shape = table_shape(m.get(), trans, hr, lc, src);
  const int nodes = shape.nodes;
  const int samples = shape.samples;
  const auto n = static_cast<size_t>(samples);

  // Cell of node i, sample j.
  const auto cell = [&](size_t i, size_t j) -> const char* {
    return trans ? VLK_StrMatrix_get(m.get(), lc + j, hr + i)
                 : VLK_StrMatrix_get(m.get(), hr + i, lc + j);
  };
  // Label k of node i, checked: line and field (from 0) it comes from.
  const auto label = [&](size_t i, size_t k, const char* what) -> const char* {
    const size_t line = trans ? k : hr + i;
    const size_t field = trans ? hr + i : k;
    const char* text = VLK_StrMatrix_get(m.get(), line, field);
    check_label(text, what, static_cast<int>(line + 1), field + 1, src);
    return text;
  };

  DataPtr d(VLK_Data_new());
  d->n = samples;
  d->p = nodes;
  const size_t cells = VLK_Data_cells(nodes, samples);
  if (cells > 0) {
    if (cells > SIZE_MAX / sizeof(double)) vlk::fatal(kNoMemory);
    d->X = static_cast<double*>(std::malloc(cells * sizeof(double)));
    if (d->X == nullptr) vlk::fatal(kNoMemory);
  }
  d->Y = d->X;
  if (categorical) {
    d->category = 1;
    d->labels = VLK_StrArray_new_ar(static_cast<size_t>(nodes));
    if (d->labels == nullptr) vlk::fatal(kNoMemory);
  }
  if (header_rows >= 1 && samples > 0) {
    d->sample_names = VLK_StrArray_news(n);
    if (d->sample_names == nullptr) vlk::fatal(kNoMemory);
    for (size_t j = 0; j < n; ++j)
      add_copy(d->sample_names, trans ? VLK_StrMatrix_get(m.get(), lc + j, 0)
                                      : VLK_StrMatrix_get(m.get(), 0, lc + j));
  }
  for (size_t i = 0; i < static_cast<size_t>(nodes); ++i) {
    if (label_columns == 0) {
      const std::string generated = "node_" + std::to_string(i);
      add_copy(d->names, generated);
      add_copy(d->aliases, generated);
    } else {
      add_copy(d->names, label(i, 0, "node name"));
      add_copy(d->aliases, label(i, label_columns >= 2 ? 1 : 0, "alias"));
    }
  }

  std::unordered_map<std::string_view, int> index;  // category texts of one node
  for (size_t i = 0; i < static_cast<size_t>(nodes); ++i) {
    double* row = d->X + i * n;
    index.clear();
    for (size_t j = 0; j < n; ++j) {
      const char* text = cell(i, j);
      if (categorical) {
        VLK_StrArray* list = &d->labels[i];
        auto [it, added] = index.try_emplace(text, static_cast<int>(list->size));
        if (added) add_copy(list, text);
        row[j] = it->second;
      } else {
        const size_t line = trans ? lc + j : hr + i;
        const size_t field = trans ? hr + i : lc + j;
        row[j] = src.finite_value(text, static_cast<int>(line + 1), field + 1);
      }
    }
  }

  std::fprintf(VELK_ERR, "  %d nodes  x %d samples read.\n", nodes, samples);
  if (categorical) {
    for (int i = 0; i < nodes; ++i) {
      const VLK_StrArray* list = &d->labels[i];
      std::fprintf(VELK_ERR, "    Node %d: %zu categories.\n", i + 1, list->size);
      std::fprintf(VELK_ERR, "      ");
      for (size_t k = 0; k < list->size; ++k)
        std::fprintf(VELK_ERR, k ? ", %d: %s" : "%d: %s", static_cast<int>(k), list->data[k]);
      std::fprintf(VELK_ERR, "\n");
    }
  }
  return d.release();
}

}  // namespace

VLK_Data* vlk::read_data_matrix(FILE* fp, const VLK_KeyValues* options, const char* file) {
  Options o;
  bind_options(options, &o);
  if (fp == nullptr) return nullptr;
  char delim = o.delim && !o.delim->empty() ? (*o.delim)[0] : '\t';
  if (o.csv) delim = ',';
  std::fprintf(VELK_ERR, "Reading the data matrix. [labels=%d]\n", o.label_columns);
  const vlk::DataSource src(file);
  if (o.trans || o.categorical)
    return read_table(fp, o.trans, o.header_rows, o.label_columns, delim, o.categorical, src);
  return read_rows(fp, o, delim, src);
}

VLK_Data* VLK_DataMatrix_read_fp(FILE* fp, const VLK_KeyValues* options) {
  return vlk::read_data_matrix(fp, options, nullptr);
}

VLK_Data* VLK_DataMatrix_read_trans_fp(FILE* fp, int trans, int header_rows, int label_columns,
                                       char delim, int categorical) {
  return read_table(fp, trans, header_rows, label_columns, delim, categorical, vlk::DataSource());
}

char* VLK_DataMatrix_str_conv(const char* name, const VLK_StrMatrix* table, int keycol,
                              int newcol) {
  if (table != nullptr && keycol >= 0) {
    const auto key = static_cast<size_t>(keycol);
    for (size_t i = 0; i < VLK_StrMatrix_lines(table); ++i) {
      const char* field = VLK_StrMatrix_get(table, i, key);
      if (field == nullptr || std::strcmp(field, name) != 0) continue;
      const char* alias =
          newcol >= 0 ? VLK_StrMatrix_get(table, i, static_cast<size_t>(newcol)) : nullptr;
      if (alias == nullptr || std::strcmp(alias, "NA") == 0) alias = name;
      return VLK_Str_copy(alias);
    }
  }
  return VLK_Str_copy(name);
}

VLK_Data* VLK_DataMatrix_read_file(const char* path, const VLK_KeyValues* options) {
  FilePtr fp(std::fopen(path, "r"));
  if (!fp) {
    std::fprintf(VELK_ERR, "WARNING: Cannot open file: %s\n", path);
    return nullptr;
  }
  return vlk::read_data_matrix(fp.get(), options, path);
}

VLK_Data* VLK_DataMatrix_read_file_sa(const char* path, const char* options) {
  KeyValuesPtr list(VLK_KeyValues_parse(options));
  // A refused option text (the parser said why) must not be read as "no options".
  if (list == nullptr) return nullptr;
  return VLK_DataMatrix_read_file(path, list.get());
}

VLK_Data* VLK_DataMatrix_read_files(const VLK_StrArray* paths, const VLK_KeyValues* options) {
  return vlk::read_files(paths, options, VLK_DataMatrix_read_file, "VLK_DataMatrix");
}

namespace {

// Lines from the current position to the end (a last line without LF counts), with the
// position restored; -1 when the stream cannot be repositioned.
long long count_lines(FILE* fp) {
  const long start = std::ftell(fp);
  if (start < 0) return -1;
  long long lines = 0;
  int last = '\n';
  char chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, fp)) > 0) {
    lines += std::count(chunk, chunk + got, '\n');
    last = static_cast<unsigned char>(chunk[got - 1]);
  }
  if (last != '\n') ++lines;
  std::clearerr(fp);
  if (std::fseek(fp, start, SEEK_SET) != 0) return -1;
  return lines;
}

// Walks the data rows of a TAB-delimited stream: `row` receives each line with its number and
// field count after the header lines.
template <class Row>
void for_each_data_row(FILE* fp, int header_rows, Row row) {
  const vlk::DataSource src;
  vlk::LineBuffer buf(128);
  if (buf.data == nullptr) vlk::fatal(kNoMemory);
  int lineno = 0;
  while (buf.read_lf(fp)) {
    lineno = lines_or_die(lineno, src);
    src.check_no_nul(buf, static_cast<size_t>(lineno));
    if (lineno <= header_rows) continue;
    row(buf.data, buf.len, count_fields(std::string_view(buf.data, buf.len), '\t'), lineno);
  }
}

}  // namespace

double* VLK_DataMatrix_read_values_fp(FILE* fp, int header_rows, int label_columns, int* rows,
                                      int* cols) {
  refuse_negative("header_rows", header_rows);
  refuse_negative("label_columns", label_columns);
  *rows = *cols = 0;
  if (fp == nullptr) return nullptr;
  const long long lines = count_lines(fp);
  // The count only sizes the first allocation; the writes are bounded by the block itself.
  const size_t expected =
      lines > header_rows ? static_cast<size_t>(lines - header_rows) : static_cast<size_t>(1);
  const auto labels = static_cast<size_t>(label_columns);
  DoubleArrayPtr values(VLK_DoubleArray_new());
  if (!values) vlk::fatal(kNoMemory);
  int nrows = 0;
  int columns = -1;
  for_each_data_row(fp, header_rows, [&](char* line, size_t len, size_t fields, int lineno) {
    if (columns < 0) {
      columns = samples_or_die(fields, labels, lineno, vlk::DataSource());
      const auto c = static_cast<size_t>(columns);
      if (expected > SIZE_MAX / sizeof(double) / c || !vlk::realloc_to(values.get(), expected * c))
        vlk::fatal(kNoMemory);
    } else if (fields != labels + static_cast<size_t>(columns)) {
      vlk::fatal("ERROR: the number of columns inconsisitent at line %d.\n", lineno);
    }
    if (nrows == INT_MAX) vlk::fatal("ERROR: VLK_DataMatrix: too many lines.\n");
    reserve_more(values.get(), static_cast<size_t>(columns));
    convert_fields(line, line + len, '\t', labels, static_cast<size_t>(columns),
                   values->data + values->size, lineno, vlk::DataSource());
    values->size += static_cast<size_t>(columns);
    ++nrows;
  });
  *rows = nrows;
  *cols = nrows ? columns : 0;
  return vlk::take_block(values.get());
}

int VLK_DataMatrix_read_values_buff_fp(FILE* fp, int header_rows, int label_columns, double* buffer,
                                       int* rows, int* cols, size_t capacity) {
  refuse_negative("header_rows", header_rows);
  refuse_negative("label_columns", label_columns);
  *rows = *cols = 0;
  if (fp == nullptr) return 0;
  const auto labels = static_cast<size_t>(label_columns);
  size_t used = 0;
  int nrows = 0;
  int columns = -1;
  for_each_data_row(fp, header_rows, [&](char* line, size_t len, size_t fields, int lineno) {
    if (columns < 0)
      columns = samples_or_die(fields, labels, lineno, vlk::DataSource());
    else if (fields != labels + static_cast<size_t>(columns))
      vlk::fatal("ERROR: the number of columns inconsistent at line %d.\n", lineno);
    const auto c = static_cast<size_t>(columns);
    if (c > capacity - used) vlk::fatal("ERROR: VLK_DataMatrix: Buffer full.\n");
    convert_fields(line, line + len, '\t', labels, c, buffer + used, lineno, vlk::DataSource());
    used += c;
    if (nrows == INT_MAX) vlk::fatal("ERROR: VLK_DataMatrix: too many lines.\n");
    ++nrows;
  });
  *rows = nrows;
  *cols = nrows ? columns : 0;
  return 0;
}

void VLK_DataMatrix_help(FILE* fp, const char* /*sub*/) {
  Options d;
  const auto table = option_table(&d);
  const vlk::OptionHelp help[] = {
      {"header_rows h H", nullptr, "Header lines after the ignored lines, skipped."},
      {"label_columns l L", nullptr,
       "Label fields at the start of each row: 0 none (the nodes get the names "
       "node_N), 1 the name, 2 the name and the alias."},
      {"C c categorical cat", nullptr,
       "The values are category texts, numbered per node in the order they first appear."},
      {"alias_table", "=file (string)",
       "A TAB-delimited table that gives each node its alias: the field alias_newcol of the "
       "first line whose field alias_keycol equals the node's name.",
       d.alias_table.value_or("none")},
      {"alias_keycol", nullptr, "The field of the alias table compared with the node name."},
      {"alias_newcol", nullptr, "The field of the alias table that gives the alias."},
      {"delim", nullptr, "Its first character is the field delimiter.", d.delim.value_or("TAB")},
      {"csv", nullptr, "The field delimiter is ',', whatever delim says."},
      {"trans", nullptr, "Transposed layout: one line per sample, one field per node."},
      {"discretize D", nullptr,
       "When 2 or more, discretise the values into that many categories after reading."},
      {"ignore I", nullptr, "Leading lines skipped before the header lines."},
      {"DUL", nullptr,
       "The first label field is alias__middle__name: the name is the last part, the alias "
       "the first."},
      {"dup", nullptr, "A node name given twice is refused; off keeps both nodes."},
  };
  std::fprintf(fp, "\"DataMatrix\" (expression data matrix input module):\n");
  vlk::print_option_help(fp, table.data(), help);
  std::fprintf(fp,
               "With trans or categorical the file is read as a whole table, and ignore,\n"
               "alias_table, DUL, dup and discretize have no effect.\n");
}
