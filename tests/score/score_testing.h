// Helpers the score module tests share: data sets from rows, and states made with options and
// limits (their messages captured).
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_Score.h"
#include "vlk_test.h"

namespace score_testing {

struct DataDeleter {
  void operator()(VLK_Data* d) const { VLK_Data_delete(d); }
};
using DataPtr = std::unique_ptr<VLK_Data, DataDeleter>;

// One row of values per node, all rows as long as the first; Y is X.
inline DataPtr make_data(const std::vector<std::vector<double>>& rows) {
  DataPtr d(VLK_Data_new());
  d->p = static_cast<int>(rows.size());
  d->n = static_cast<int>(rows.at(0).size());
  d->X = static_cast<double*>(std::malloc(sizeof(double) * d->p * d->n));
  for (int v = 0; v < d->p; ++v)
    std::memcpy(d->X + v * d->n, rows[v].data(), sizeof(double) * d->n);
  d->Y = d->X;
  return d;
}

// "child | parents" for the traces of failed checks.
inline std::string label_of(int child, const std::vector<int>& parents) {
  std::string label = std::to_string(child) + " |";
  for (int v : parents) label += " " + std::to_string(v);
  return label;
}

struct Setup {
  const char* options = nullptr;
  int threads = 1;
  int max_parents = 3;
  size_t max_memory = size_t{500} << 20;
  int verbosity = -1;
};

inline VLK_ScoreArgs args_for(const Setup& s, VLK_KeyValues* options) {
  return VLK_ScoreArgs{options, s.max_parents, s.max_memory, 0, s.threads, 0, s.verbosity};
}

// init(data, args) for the setup, owned by a Ptr; what init prints goes to *log when given, the
// memory it reports to *used.
template <class Ptr, class Init>
Ptr init_state(Init init, VLK_Data* data, const Setup& s, std::string* log, size_t* used) {
  VLK_KeyValues* options = s.options ? VLK_KeyValues_parse(s.options) : nullptr;
  VLK_ScoreArgs args = args_for(s, options);
  vlk_test::CaptureErr err;
  Ptr state(init(data, &args));
  if (log) *log = err.text();
  if (used) *used = args.used_memory;
  VLK_KeyValues_delete(options);
  return state;
}

// init alone, for the fatal paths (EXPECT_FATAL_EXIT runs it in a child process).
template <class Init>
void init_only_with(Init init, VLK_Data* data, const Setup& s) {
  VLK_KeyValues* options = s.options ? VLK_KeyValues_parse(s.options) : nullptr;
  VLK_ScoreArgs args = args_for(s, options);
  init(data, &args);
}

}  // namespace score_testing
