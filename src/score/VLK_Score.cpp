#include "VLK_Score.h"

#include <omp.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "ContPrior.h"
#include "VLK_BDE.h"
#include "VLK_BNRC.h"

namespace {

constexpr VLK_Score named_row(const char* name) {
  return {name,    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
          nullptr, nullptr, nullptr, nullptr, 0,       0};
}

}  // namespace

// Each module fills the operations of its own rows when it is built:
//   "BNRC":      VLK_BNRC_init, VLK_BNRC_score, VLK_BNRC_finalize, VLK_BNRC_prop,
//                VLK_BNRC_reinit, no evaluate, VLK_BNRC_omp_init
//   "BNRC2":     as "BNRC" with VLK_BNRC_score2 as its score
//   "ContPrior": ContPrior_init, ContPrior_score, ContPrior_finalize, ContPrior_prop,
//                no reinit, ContPrior_evaluate, no omp_init
//   "BDE":       BDE_init, BDE_score, BDE_finalize, nothing else
// (through the vlk::*_slot adapters of VLK_Score.h). cache, status, state and the two ints
// stay null in every row; VLK_Score_get supplies the defaults.
constexpr VLK_Score VLK_Score_list[VLK_SCORE_MODULES + 1] = {
    {"BNRC", &vlk::init_slot<VLK_BNRC_init>, &vlk::score_slot<VLK_BNRC_score>,
     &vlk::finalize_slot<VLK_BNRC_finalize>, &vlk::prop_slot<VLK_BNRC_prop>, nullptr, nullptr,
     &vlk::reinit_slot<VLK_BNRC_reinit>, nullptr, &vlk::omp_init_slot<VLK_BNRC_omp_init>, nullptr,
     0, 0},
    {"BNRC2", &vlk::init_slot<VLK_BNRC_init>, &vlk::score_slot<VLK_BNRC_score2>,
     &vlk::finalize_slot<VLK_BNRC_finalize>, &vlk::prop_slot<VLK_BNRC_prop>, nullptr, nullptr,
     &vlk::reinit_slot<VLK_BNRC_reinit>, nullptr, &vlk::omp_init_slot<VLK_BNRC_omp_init>, nullptr,
     0, 0},
    {"ContPrior", &vlk::init_slot<ContPrior_init>, &vlk::score_slot<ContPrior_score>,
     &vlk::finalize_slot<ContPrior_finalize>, &vlk::prop_slot<ContPrior_prop>, nullptr, nullptr,
     nullptr, &vlk::evaluate_slot<ContPrior_evaluate>, nullptr, nullptr, 0, 0},
    {"BDE", &vlk::init_slot<BDE_init>, &vlk::score_slot<BDE_score>,
     &vlk::finalize_slot<BDE_finalize>, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
     nullptr, 0, 0},
    named_row(nullptr),
};

void VLK_Score_default_cache(void*, int) {}
void VLK_Score_default_status(void*, FILE*) {}

VLK_Score* VLK_Score_get(const char* name) {
  if (name == nullptr) return nullptr;
  for (const VLK_Score* row = VLK_Score_list; row->name != nullptr; ++row) {
    if (strcasecmp(row->name, name) != 0) continue;
    auto* s = static_cast<VLK_Score*>(std::malloc(sizeof(VLK_Score)));
    if (s == nullptr) return nullptr;
    *s = *row;
    s->cache = VLK_Score_default_cache;
    s->status = VLK_Score_default_status;
    s->state = nullptr;
    s->reserved0 = 0;
    return s;
  }
  return nullptr;
}

void* VLK_Score_init(VLK_Score* score, VLK_Data* data, VLK_ScoreArgs* args) {
  score->state = score->init(data, args);
  score->reserved0 = std::max(args->threads, 1);
  return score->state;
}

int VLK_Score_threads(const VLK_Score* score) { return std::max(score->reserved0, 1); }

VLK_Score* VLK_Score_omp_init(VLK_Score* score, VLK_ScoreArgs* args, int nthreads) {
  if (score == nullptr || score->omp_init == nullptr || nthreads <= 0) return nullptr;
  if (static_cast<size_t>(nthreads) > std::numeric_limits<size_t>::max() / sizeof(VLK_Score))
    return nullptr;
  void** states = score->omp_init(args, score->state, nthreads);
  if (states == nullptr) return nullptr;
  auto* records =
      static_cast<VLK_Score*>(std::malloc(static_cast<size_t>(nthreads) * sizeof(VLK_Score)));
  if (records != nullptr) {
    for (int i = 0; i < nthreads; ++i) {
      records[i] = *score;
      records[i].state = states[i];
      records[i].reserved0 = 1;  // each per-thread state serves its one thread
    }
  }
  std::free(states);
  return records;
}

VLK_ScoreArgs* VLK_ScoreArgs_new() {
  auto* args = static_cast<VLK_ScoreArgs*>(std::malloc(sizeof(VLK_ScoreArgs)));
  if (args == nullptr) return nullptr;
  *args = VLK_ScoreArgs{
      .options = nullptr,
      .max_parents = 10,
      .max_memory = size_t{500} * 1024 * 1024,
      .used_memory = 0,
      .threads = omp_get_max_threads(),
      .cache_type = 0,
      .verbosity = 0,
  };
  return args;
}

VLK_ScoreArgs* VLK_ScoreArgs_clone(const VLK_ScoreArgs* args) {
  auto* c = static_cast<VLK_ScoreArgs*>(std::malloc(sizeof(VLK_ScoreArgs)));
  if (c == nullptr) return nullptr;
  *c = *args;
  if (args->options != nullptr) {
    c->options = VLK_KeyValues_clone(args->options);
    if (c->options == nullptr) {
      std::free(c);
      return nullptr;
    }
  }
  return c;
}

void VLK_ScoreArgs_delete(VLK_ScoreArgs* args) { std::free(args); }
