#include "VLK_EDF.h"

#include <stdio_ext.h>
#include <strings.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "VLK_ArgDef.h"
#include "VLK_Array.h"
#include "VLK_Data_merge.h"
#include "VLK_DoubleArray.h"
#include "VLK_IntArray.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_bind_options.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_number.h"
#include "vlk_option_help.h"
#include "vlk_read_files.h"

namespace {

constexpr char kNoMemory[] = "ERROR: VLK_EDF: memory allocation failed.\n";

template <class T>
T* or_die(T* p) {
  return vlk::or_die(p, kNoMemory);
}

using vlk::DataPtr;
using vlk::DoubleArrayPtr;
using vlk::FilePtr;
using vlk::KeyValuesPtr;
using vlk::StrArrayPtr;
using IntArrayPtr = vlk::Owned<VLK_IntArray, VLK_IntArray_delete>;

void add_copy(VLK_StrArray* a, std::string_view s) { vlk::add_copy(a, s, kNoMemory); }

constexpr bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool equal_nocase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Fields between delimiters; always one more than the delimiters.
template <class Fn>
void each_field(std::string_view s, char delim, Fn fn) {
  for (;;) {
    const size_t p = s.find(delim);
    fn(s.substr(0, p));
    if (p == std::string_view::npos) return;
    s.remove_prefix(p + 1);
  }
}

struct Options {
  std::optional<std::string> delim;
  int allow_nan = 0;
  std::optional<std::string> nan = std::string("NAN");
  int verbose = 0;
  std::optional<std::string> primarykey = std::string("primarykeygroupid");
  std::optional<std::string> secondarykey = std::string("secondarykeygroupid");
  int log = 0;
  std::optional<std::string> ext;
};

// The reader's options over *o; the help prints the same rows.
auto option_table(Options* o) {
  return std::to_array<VLK_ArgDef>({
      vlk::arg_call3("delim", vlk::bind_last_string, &o->delim),
      vlk::arg_call3("d", vlk::bind_last_string, &o->delim),
      vlk::arg_call3("D", vlk::bind_last_string, &o->delim),
      vlk::arg_onoff("allow_nan", &o->allow_nan),
      vlk::arg_call3("nan", vlk::bind_last_string, &o->nan),
      vlk::arg_flag_on("v", &o->verbose),
      vlk::arg_call3("primarykey", vlk::bind_last_string, &o->primarykey),
      vlk::arg_call3("secondarykey", vlk::bind_last_string, &o->secondarykey),
      vlk::arg_onoff("log", &o->log),
      vlk::arg_call3("ext", vlk::bind_last_string, &o->ext),
      vlk::arg_end(),
  });
}

// A rejected entry is reported and the entries after it are still bound.
void bind_options(const VLK_KeyValues* list, Options* o) {
  const auto table = option_table(o);
  vlk::io::bind_or_warn(list, table.data(), "WARNING: VLK_EDF: illegal arguments failure: %s\n");
}

char delimiter(const Options& o) {
  if (o.delim) {
    if (strcasecmp(o.delim->c_str(), "comma") == 0) return ',';
    if (strcasecmp(o.delim->c_str(), "tab") == 0) return '\t';
    vlk::fatal("ERROR: VLK_EDF: Unknown delimiter type: %s\n", o.delim->c_str());
  }
  return o.ext && strcasecmp(o.ext->c_str(), "csv") == 0 ? ',' : '\t';
}

struct Attribute {
  std::string key;  // trimmed, lower-cased
  StrArrayPtr values;
  int line;  // in the file, from 1
};

class Reader {
 public:
  Reader(const Options& o, char delim, vlk::DataSource src)
      : o_(o),
        delim_(delim),
        src_(src),
        meta_(or_die(VLK_KeyValues_new())),
        values_(or_die(VLK_DoubleArray_new())),
        primary_(or_die(VLK_IntArray_new())),
        secondary_(or_die(VLK_IntArray_new())),
        missing_(o.nan.value_or("")),
        d_(VLK_Data_new()) {}

  VLK_Data* read(FILE* fp) {
    // The line reader takes one character at a time; while this reader alone uses the stream,
    // the stream's lock would cost more than the reading.
    const int locking = __fsetlocking(fp, FSETLOCKING_BYCALLER);
    struct Restore {
      FILE* fp;
      int locking;
      ~Restore() { __fsetlocking(fp, locking); }
    } restore{fp, locking};
    vlk::LineBuffer buf;
    int lineno = 0;
    while (buf.read(fp)) {
      if (lineno == INT_MAX) src_.refuse("ERROR: VLK_EDF: too many lines.\n");
      ++lineno;
      src_.check_no_nul(buf, static_cast<size_t>(lineno));
      if (buf.data[0] == '#') continue;
      char* text = VLK_Str_trim(buf.data);
      const std::string_view line(text, std::strlen(text));
      if (line.empty()) continue;
      if (state_ == 0 && line[0] == '$') {
        meta_line(line);
      } else if (state_ <= 1 && (line[0] == '@' || (state_ == 1 && line[0] == '$'))) {
        state_ = 1;
        attribute_row(line, lineno);
      } else {
        if (state_ != 2) first_data_row();
        state_ = 2;
        data_row(text, line.size(), lineno);
      }
    }
    return finish();
  }

 private:
  void meta_line(std::string_view line) {
    std::vector<std::string_view> fields;
    each_field(line.substr(1), delim_, [&](std::string_view f) { fields.push_back(f); });
    if (fields.size() < 2) return;
    const std::string key = lower(trim(fields[0]));
    const std::string value(trim(fields[1]));
    or_die(VLK_KeyValues_add_string(meta_.get(), key.c_str(), value.c_str()));
    if (o_.verbose)
      std::fprintf(VELK_ERR, "VLK_EDF: MetaData: \"%s\"=\"%s\"\n", key.c_str(), value.c_str());
  }

  void attribute_row(std::string_view line, int lineno) {
    const std::string_view body = line.substr(1);
    const size_t cut = body.find(delim_);
    if (cut == std::string_view::npos)
      src_.refuse("ERROR: VLK_EDF: No values for attribute: %s at line %d\n",
                  vlk::printable(line).c_str(), lineno);
    Attribute a{lower(trim(body.substr(0, cut))), StrArrayPtr(or_die(VLK_StrArray_new())), lineno};
    each_field(body.substr(cut + 1), delim_,
               [&](std::string_view f) { add_copy(a.values.get(), trim(f)); });
    if (o_.verbose) std::fprintf(VELK_ERR, "VLK_EDF: Attribute: key=\"%s\"\n", a.key.c_str());
    const size_t n = a.values->size;
    if (attributes_.empty())
      attribute_columns_ = n;
    else if (n != attribute_columns_)
      src_.refuse("ERROR: VLK_EDF: inconsistent column number at line %d\n", lineno);
    attributes_.push_back(std::move(a));
  }

  const Attribute* find_attribute(std::string_view name, bool nocase) const {
    for (const Attribute& a : attributes_)
      if (nocase ? equal_nocase(a.key, name) : a.key == name) return &a;
    return nullptr;
  }

  // The column types and IDs are settled once the attribute rows are over.
  void first_data_row() {
    typeid_ = find_attribute("typeid", false);
    if (typeid_ != nullptr) {
      const VLK_StrArray* t = typeid_->values.get();
      for (size_t k = 0; k < t->size; ++k) {
        const char* v = t->data[k];
        expression_.push_back(v[0] == '\0' || strcasecmp(v, "exp") == 0 ||
                              strcasecmp(v, "expression") == 0);
      }
    } else if (!attributes_.empty()) {
      expected_ = static_cast<long long>(attribute_columns_);
    }

    std::string primary = o_.primarykey.value_or("");
    std::string secondary = o_.secondarykey.value_or("");
    if (const char* m = VLK_KeyValues_get_string(meta_.get(), "primarykeygroupid")) primary = m;
    if (const char* m = VLK_KeyValues_get_string(meta_.get(), "secondarykeygroupid")) secondary = m;
    if (o_.verbose) {
      std::fprintf(VELK_ERR, "VLK_EDF: PrimaryKeyGroupID=\"%s\"\n", primary.c_str());
      std::fprintf(VELK_ERR, "VLK_EDF: SecondaryKeyGroupID=\"%s\"\n", secondary.c_str());
    }
    if (const Attribute* a = find_attribute(primary, true))
      collect_ids(a, primary_.get());
    else if (o_.verbose)
      std::fprintf(VELK_ERR, "VLK_EDF: PrimaryKeyGroupID \"%s\" not found.\n", primary.c_str());
    if (const Attribute* a = find_attribute(secondary, true)) collect_ids(a, secondary_.get());

    if (const char* m = VLK_KeyValues_get_string(meta_.get(), "keywordofna")) missing_ = m;
  }

  bool is_expression(size_t k) const { return typeid_ == nullptr || expression_[k]; }

  // Column IDs count from 0 or from 1 (time points 0, 0, 1, 1 or 1, 1, 2, 2): they index the
  // replicate counts of the time points, so a negative one (or text that is no number) would
  // write outside them.
  void collect_ids(const Attribute* a, VLK_IntArray* ids) const {
    const VLK_StrArray* v = a->values.get();
    for (size_t k = 0; k < v->size; ++k) {
      if (!is_expression(k)) continue;
      const size_t column = k + 2;  // the key is the first field
      const vlk::Number<int> id = vlk::parse_number<int>(v->data[k]);
      if (!id.ok())
        src_.refuse("ERROR: VLK_EDF: column ID in attribute %s at line %d, column %zu: \"%s\" %s\n",
                    vlk::printable(a->key).c_str(), a->line, column,
                    vlk::printable(v->data[k]).c_str(), vlk::number_problem<int>(id.status));
      if (id.value < 0)
        src_.refuse(
            "ERROR: VLK_EDF: column ID below 0 in attribute %s at line %d, column %zu: %s\n",
            vlk::printable(a->key).c_str(), a->line, column, v->data[k]);
      or_die(VLK_IntArray_add(ids, id.value));
    }
  }

  void data_row(const char* text, size_t len, int lineno) {
    const char* const end = text + len;
    const char* cut = static_cast<const char*>(std::memchr(text, delim_, len));
    const std::string_view name(text, cut ? static_cast<size_t>(cut - text) : len);
    const size_t node = d_->names->size;
    if (vlk::has_control_byte(name))
      src_.refuse("ERROR: VLK_EDF: a control byte in the node name at line %d, column 1: \"%s\"\n",
                  lineno, vlk::printable(name).c_str());
    // Two nodes of one name would make every lookup by name (node sets, reference networks,
    // the merge of data sets) pick the first: refused, as the data matrix reader does.
    if (const auto [it, added] = first_of_.try_emplace(std::string(name), node); !added)
      src_.refuse("ERROR: VLK_EDF: Same node name found: %s (= %zu-th node) at line %d\n",
                  it->first.c_str(), it->second + 1, lineno);
    add_copy(d_->names, name);
    add_copy(d_->aliases, name);

    long long count = 0;
    for (size_t k = 0; cut != nullptr; ++k) {
      const char* p = cut + 1;
      cut = static_cast<const char*>(std::memchr(p, delim_, static_cast<size_t>(end - p)));
      const char* q = cut ? cut : end;
      const size_t column = k + 2;  // the name is the first field
      if (typeid_ != nullptr && k >= expression_.size())
        src_.refuse(
            "ERROR: VLK_EDF: more columns than the TypeID attribute at line %d, column %zu.\n",
            lineno, column);
      if (!is_expression(k)) continue;
      double x;
      const std::string_view field(p, static_cast<size_t>(q - p));
      if (equal_nocase(trim(field), missing_)) {
        if (!o_.allow_nan)
          src_.refuse("ERROR: VLK_EDF: NAN value found at line %d, column %zu.\n", lineno, column);
        x = std::numeric_limits<double>::quiet_NaN();
      } else {
        // Only the keyword makes a missing value; any other value must be a number that every
        // score can take, before and after the logarithm.
        x = src_.finite_value(field, lineno, column);
        if (o_.log) {
          x = std::log(x);
          if (!std::isfinite(x))
            src_.refuse(
                "ERROR: VLK_EDF: log=on needs a value above 0 at line %d, column %zu: %.*s\n",
                lineno, column, static_cast<int>(field.size()), field.data());
        }
      }
      or_die(vlk::append(values_.get(), x));
      ++count;
    }
    if (expected_ < 0)
      expected_ = count;
    else if (count != expected_)
      src_.refuse("ERROR: VLK_EDF: The number of columns not consistent at line %d.\n", lineno);
    if (expected_ > INT_MAX) src_.refuse("ERROR: VLK_EDF: too many columns at line %d.\n", lineno);
  }

  VLK_Data* finish() {
    VLK_Data* d = d_.get();
    const bool any_row = state_ == 2;
    const int samples = any_row ? static_cast<int>(expected_) : 0;
    if (d->names->size > static_cast<size_t>(INT_MAX))
      src_.refuse("ERROR: VLK_EDF: too many lines.\n");
    const int nodes = static_cast<int>(d->names->size);
    std::fprintf(VELK_ERR, "  %d nodes  x  %d samples read.\n", nodes, samples);
    vlk::print_requires(VLK_Data_cells(nodes, samples));

    d->X = d->Y = vlk::take_block(values_.get());
    d->n = samples;
    d->p = nodes;
    VLK_Data_set_meta_data_kv(d, meta_.get());
    meta_.reset();

    // Attributes describe the columns; without a data row there are none to describe.
    if (any_row) {
      for (const Attribute& a : attributes_) {
        if (typeid_ == nullptr) {
          VLK_Data_add_attributes(d, a.key.c_str(), a.values.get());
          continue;
        }
        StrArrayPtr kept(or_die(VLK_StrArray_new()));
        for (size_t k = 0; k < a.values->size; ++k)
          if (expression_[k]) add_copy(kept.get(), a.values->data[k]);
        if (kept->size != static_cast<size_t>(samples))
          src_.refuse(
              "ERROR: VLK_EDF: inconsistent TypeID attribute number.\n"
              "              attr=%s, n=%zu vs samples=%d\n",
              vlk::printable(a.key).c_str(), kept->size, samples);
        VLK_Data_add_attributes(d, a.key.c_str(), kept.get());
      }
    }

    if (primary_->size == 0)
      for (int s = 1; s <= samples; ++s) or_die(VLK_IntArray_add(primary_.get(), s));
    if (secondary_->size == 0)
      for (int s = 1; s <= samples; ++s) or_die(VLK_IntArray_add(secondary_.get(), 1));
    VLK_IntArray_delete(d->primary_ids);
    VLK_IntArray_delete(d->secondary_ids);
    d->primary_ids = primary_.release();
    d->secondary_ids = secondary_.release();
    if (o_.verbose) {
      std::fprintf(VELK_ERR, "VLK_EDF: PrimaryID = {");
      VLK_IntArray_fprint(d->primary_ids, VELK_ERR);
      std::fprintf(VELK_ERR, "}\n");
      std::fprintf(VELK_ERR, "VLK_EDF: SecondaryID = {");
      VLK_IntArray_fprint(d->secondary_ids, VELK_ERR);
      std::fprintf(VELK_ERR, "}\n");
    }
    return d_.release();
  }

  const Options& o_;
  const char delim_;
  const vlk::DataSource src_;
  int state_ = 0;  // 0 meta lines, 1 attribute rows, 2 data rows
  KeyValuesPtr meta_;
  std::vector<Attribute> attributes_;
  size_t attribute_columns_ = 0;
  const Attribute* typeid_ = nullptr;
  std::vector<unsigned char> expression_;  // per typeid column: 1 for an expression column
  long long expected_ = -1;                // values per data row, once known
  DoubleArrayPtr values_;
  IntArrayPtr primary_, secondary_;
  std::string missing_;
  std::unordered_map<std::string, size_t> first_of_;  // node name -> its first row
  DataPtr d_;
};

}  // namespace

VLK_Data* vlk::read_edf(FILE* fp, const VLK_KeyValues* options, const char* file) {
  Options o;
  bind_options(options, &o);
  const char delim = delimiter(o);
  if (fp == nullptr) return nullptr;
  return Reader(o, delim, vlk::DataSource(file)).read(fp);
}

VLK_Data* VLK_EDF_read_fp(FILE* fp, const VLK_KeyValues* options) {
  return vlk::read_edf(fp, options, nullptr);
}

VLK_Data* VLK_EDF_read_file(const char* path, const VLK_KeyValues* options) {
  FilePtr fp(std::fopen(path, "r"));
  if (!fp) {
    std::fprintf(VELK_ERR, "VLK_EDF: Cannot open file: %s\n", path);
    std::fflush(VELK_ERR);
    return nullptr;
  }
  const char* dot = std::strrchr(path, '.');
  if (dot == nullptr || (options != nullptr && VLK_KeyValues_find_key(options, "ext") >= 0))
    return vlk::read_edf(fp.get(), options, path);
  KeyValuesPtr with_ext(or_die(options ? VLK_KeyValues_clone(options) : VLK_KeyValues_new()));
  or_die(VLK_KeyValues_add_string(with_ext.get(), "ext", dot + 1));
  return vlk::read_edf(fp.get(), with_ext.get(), path);
}

VLK_Data* VLK_EDF_read_files(const VLK_StrArray* paths, const VLK_KeyValues* options) {
  return vlk::read_files(paths, options, VLK_EDF_read_file, "VLK_EDF");
}

namespace {

// Why the reader would not give `name` back as the name of row v (from 0), or null.
const char* name_problem(const char* name, int v) {
  const std::string_view s = name ? name : "";
  if (s.empty()) return "is empty";
  if (s.find('\t') != std::string_view::npos) return "holds a tab, the delimiter";
  if (s.find_first_of("\r\n") != std::string_view::npos) return "holds a line end";
  if (vlk::has_control_byte(s)) return "holds a control byte, which the reader refuses";
  if (s.front() == '#') return "starts with '#', which makes a comment";
  if (s.front() == ' ' || s.back() == ' ') return "starts or ends with a blank, which is trimmed";
  if (v == 0 && (s.front() == '$' || s.front() == '@'))
    return "starts with '$' or '@', which makes the first row a meta or attribute line";
  return nullptr;
}

size_t row_length(const VLK_Data* d) { return static_cast<size_t>(d->n > 0 ? d->n : 0); }

void write_rows(FILE* fp, const VLK_Data* d) {
  std::fprintf(fp, "$Version\t1.0\n");
  const size_t n = row_length(d);
  for (int v = 0; v < d->p; ++v) {
    std::fprintf(fp, "%s", VLK_Data_get_name(d, v));
    const double* row = d->X + static_cast<size_t>(v) * n;
    // A NaN is a missing value; "-nan" would not read back as the keyword.
    for (size_t s = 0; s < n; ++s)
      std::fprintf(fp, "\t%f", std::isnan(row[s]) ? std::fabs(row[s]) : row[s]);
    std::fprintf(fp, "\n");
  }
}

void refuse_unwritable(const VLK_Data* d) {
  if (const std::string problem = vlk::edf_write_problem(d); !problem.empty())
    vlk::fatal("%s", problem.c_str());
}

}  // namespace

std::string vlk::edf_write_problem(const VLK_Data* d) {
  const size_t n = row_length(d);
  for (int v = 0; v < d->p; ++v) {
    const char* name = VLK_Data_get_name(d, v);
    if (const char* why = name_problem(name, v))
      return "ERROR: VLK_EDF: cannot write node " + std::to_string(v + 1) + ": its name \"" +
             vlk::printable(vlk::or_empty(name)) + "\" " + why + ".\n";
    const double* row = d->X + static_cast<size_t>(v) * n;
    for (size_t s = 0; s < n; ++s)
      if (std::isinf(row[s]))
        return "ERROR: VLK_EDF: cannot write node " + std::to_string(v + 1) + " (" +
               vlk::printable(vlk::or_empty(name)) + "): sample " + std::to_string(s + 1) +
               " is infinite, which does not read back.\n";
  }
  return {};
}

void VLK_EDF_write_fp(FILE* fp, const VLK_Data* d) {
  refuse_unwritable(d);
  write_rows(fp, d);
}

void VLK_EDF_write_file(const char* path, const VLK_Data* d) {
  refuse_unwritable(d);  // before the file is made
  FilePtr fp(std::fopen(path, "w"));
  if (!fp) vlk::fatal("ERROR: Cannot open file: %s\n", path);
  write_rows(fp.get(), d);
}

void VLK_EDF_help(FILE* fp, const char* /*sub*/) {
  Options d;
  const auto table = option_table(&d);
  const std::string none = "none";
  const vlk::OptionHelp help[] = {
      {"delim d D", "=(comma|tab)", "The field delimiter: \"comma\" or \"tab\" (any case).",
       "TAB, or ',' when ext is csv"},
      {"allow_nan", nullptr,
       "A value equal to the missing-value keyword reads as NaN; off refuses it."},
      {"nan", nullptr,
       "The missing-value keyword, compared without regard to case; a meta line "
       "\"$KeywordOfNA\" in the file overrides it.",
       d.nan.value_or(none)},
      {"v", nullptr, "Report the meta data, the attributes and the column IDs."},
      {"primarykey", nullptr,
       "The attribute row holding the primary column IDs (the time points of a time "
       "series); a meta line \"$PrimaryKeyGroupID\" overrides it.",
       d.primarykey.value_or(none)},
      {"secondarykey", nullptr,
       "The attribute row holding the secondary column IDs (the series); a meta line "
       "\"$SecondaryKeyGroupID\" overrides it.",
       d.secondarykey.value_or(none)},
      {"log", nullptr, "Store the natural logarithm of each value (every value must be above 0)."},
      {"ext", nullptr, "The file's extension: \"csv\" (any case) selects ',' when delim is absent.",
       d.ext.value_or(none)},
  };
  std::fprintf(fp, "\"EDF\" (expression data input module):\n");
  vlk::print_option_help(fp, table.data(), help);
}
