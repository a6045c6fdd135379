#include "input/input_data.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "VLK_KeyValues.h"
#include "VLK_Str.h"
#include "selection/select_nodes.h"
#include "vlk_algo_options.h"
#include "vlk_fatal.h"
#include "vlk_number.h"

namespace {

// The most parents a BNRC score of the run weighs, and the option that sets it: -M, or for
// two-step hill climbing the m= of its second step when that step scores with BNRC too.
struct ParentLimit {
  int parents;
  const char* option;
};

ParentLimit parent_limit(const Args* a) {
  ParentLimit limit{a->algo_args->max_parents, "-M"};
  const VLK_KeyValues* options = a->algo_options;
  if (strcasecmp(a->algo_name, "tshc") != 0 || options == nullptr ||
      VLK_KeyValues_find_key(options, "firstonly") >= 0)
    return limit;
  const char* score = VLK_KeyValues_get_string(options, "s");
  if (score != nullptr && strcasecmp(score, "BNRC") != 0) return limit;
  const int second = vlk::algo::int_option(options, "m", limit.parents);
  if (second > limit.parents) limit = {second, "m= of -A"};
  return limit;
}

// The score fits a child on q parents at the cost of 2(q + 1) of its n samples: its criterion
// weighs the log residual variance by n - 2(q + 1). With no more samples than that, a closer
// fit scores no better or worse, and the parents found are noise; a single sample leaves every
// gene constant, so that nothing is found at all. So a limit of q parents needs at least
// 2(q + 1) + 1 samples in each nucleus.
void check_score_samples(const Args* a) {
  const ParentLimit limit = parent_limit(a);
  const std::int64_t need = 2 * (static_cast<std::int64_t>(limit.parents) + 1) + 1;
  if (!a->algo_args->dynamic) {
    if (a->samples < need)
      vlk::fatal(
          "ERROR: input_data(): too few samples for the score: samples = %d, and %s %d needs at "
          "least %" PRId64 "\n",
          a->samples, limit.option, limit.parents, need);
    return;
  }
  // A nucleus of dynamic data pairs each time point with the next, in --Bnum bootstrap blocks.
  const std::int64_t pairs = static_cast<std::int64_t>(a->time_points - 1) * a->bootstrap_blocks;
  if (pairs < need)
    vlk::fatal(
        "ERROR: input_data(): too few samples for the score: (%d time points - 1) x --Bnum %d = "
        "%" PRId64 ", and %s %d needs at least %" PRId64 "\n",
        a->time_points, a->bootstrap_blocks, pairs, limit.option, limit.parents, need);
}

}  // namespace

void input_check_sizes(const Args* a) {
  if (a->nodes < 0) vlk::fatal("ERROR: input_data(): no data set was read from the input file\n");
  if (a->nodes == 0 || a->samples <= 0)
    vlk::fatal(
        "ERROR: input_data(): the input data holds no gene or no sample: nodes = %d, "
        "samples = %d\n",
        a->nodes, a->samples);
  select_check_settings(a);
  if (a->nodes < a->processes)
    vlk::fatal("ERROR: input_data(): %d genes are fewer than the %d processes\n", a->nodes,
               a->processes);
  if (a->algo_args->dynamic && a->time_points < 2)
    vlk::fatal("ERROR: input_data(): dynamic data need at least two time points: %d found\n",
               a->time_points);
  check_score_samples(a);
}

namespace {

// The last string value of any of the keys in the reader options (the EDF reader's binding
// keeps the last one given), or null.
const char* last_text(const VLK_KeyValues* list, std::initializer_list<const char*> keys) {
  const char* found = nullptr;
  if (list == nullptr) return found;
  for (size_t i = 0; i < VLK_KeyValues_size(list); ++i) {
    const char* key = VLK_KeyValues_get_key(list, i);
    if (VLK_KeyValues_get_type(list, i) != VLK_TYPE_STRING) continue;
    for (const char* k : keys)
      if (std::strcmp(key, k) == 0)
        found = static_cast<const char*>(VLK_KeyValues_get_value(list, i));
  }
  return found;
}

struct EdfReading {
  char delim = '\t';
  std::string missing = "NAN";  // the missing-value keyword
};

EdfReading edf_reading(const VLK_KeyValues* options) {
  EdfReading r;
  if (const char* d = last_text(options, {"delim", "d", "D"}); d && strcasecmp(d, "comma") == 0)
    r.delim = ',';
  if (const char* nan = last_text(options, {"nan"})) r.missing = nan;
  return r;
}

// The fields of a line after its first one.
std::vector<std::string_view> value_fields(std::string_view line, char delim) {
  std::vector<std::string_view> fields;
  for (size_t cut = line.find(delim); cut != std::string_view::npos; cut = line.find(delim)) {
    line.remove_prefix(cut + 1);
    fields.push_back(line.substr(0, line.find(delim)));
  }
  return fields;
}

// A field the EDF reader takes as a value, or refuses as a value (infinities and the like).
bool is_value(std::string_view field, const EdfReading& r) {
  const vlk::Number<double> x = vlk::parse_number<double>(field, vlk::Blanks::allowed);
  if (x.status != vlk::NumberStatus::not_a_number) return true;
  std::string_view t = field;
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t' || t.back() == '\r'))
    t.remove_suffix(1);
  return t.size() == r.missing.size() && strncasecmp(t.data(), r.missing.data(), t.size()) == 0;
}

// How many fields after the first come before the first value.
size_t leading_texts(std::string_view line, const EdfReading& r) {
  const std::vector<std::string_view> fields = value_fields(line, r.delim);
  size_t k = 0;
  while (k < fields.size() && !is_value(fields[k], r)) ++k;
  return k;
}

// The lines the EDF reader classifies, comments and blank lines passed over; their number in
// the file from 1.
class EdfLines {
 public:
  explicit EdfLines(FILE* fp) : fp_(fp) {}
  bool next(std::string* line, int* number) {
    while (buf_.read(fp_)) {
      ++lineno_;
      if (buf_.data[0] == '#') continue;
      const std::string_view text = VLK_Str_trim(buf_.data);
      if (text.empty()) continue;
      *line = text;
      *number = lineno_;
      return true;
    }
    return false;
  }

 private:
  FILE* fp_;
  vlk::LineBuffer buf_;
  int lineno_ = 0;
};

void check_edf_start(const Args* a, FILE* fp) {
  const EdfReading r = edf_reading(a->input_args);
  EdfLines lines(fp);
  std::string header;
  int number = 0;
  if (!lines.next(&header, &number) || header[0] == '$' || header[0] == '@') return;
  const size_t fields = value_fields(header, r.delim).size();
  if (fields == 0 || leading_texts(header, r) < fields) return;
  // The label fields of the rows below: the texts before their first value, the fewest in the
  // next two rows, so that a missing value opening one row is not taken for a label.
  size_t labels = 1;
  std::string row;
  int row_number = 0;
  for (int k = 0; k < 2 && lines.next(&row, &row_number); ++k) {
    const size_t texts = 1 + leading_texts(row, r);
    labels = k == 0 ? texts : std::min(labels, texts);
  }
  const std::string first_fields = header.substr(0, header.find(r.delim, header.find(r.delim) + 1));
  vlk::fatal(
      "ERROR: input_data(): %s is not EDF: line %d (\"%s...\") holds no value, the header row "
      "of a matrix; a %s-delimited matrix with one header row and %zu label column%s reads with "
      "--input-type matrix -I header_rows=1,label_columns=%zu%s\n",
      a->input_file, number, vlk::printable(first_fields).c_str(), r.delim == ',' ? "comma" : "TAB",
      labels, labels == 1 ? "" : "s", labels, r.delim == ',' ? ",csv" : "");
}

}  // namespace

void input_check_file(const Args* a, FILE* fp) {
  struct stat st;
  if (fstat(fileno(fp), &st) != 0) return;  // the reader meets what is wrong
  if (S_ISDIR(st.st_mode))
    vlk::fatal("ERROR: input_data(): the input file %s is a directory\n", a->input_file);
  // Only a regular file can be read twice; a pipe goes to the reader as it is.
  if (!S_ISREG(st.st_mode) || strcasecmp(a->input_type, "edf") != 0) return;
  check_edf_start(a, fp);
  std::rewind(fp);
}

void input_data_free(Args* a) {
  const bool own_block = a->whole_values != nullptr &&
                         (a->whole_data == nullptr || a->whole_values != a->whole_data->X);
  if (own_block) std::free(a->whole_values);
  if (a->whole_data != nullptr) VLK_Data_delete(a->whole_data);
  std::free(a->replicates);
  a->whole_values = nullptr;
  a->whole_data = nullptr;
  a->replicates = nullptr;
}

void* input_nuc(void* p) { return p; }
