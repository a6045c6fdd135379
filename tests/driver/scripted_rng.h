// A VLK_RNG whose uniform numbers a test gives: the script in order, then `after` for every further
// number (a test failure when none is set). Every uniform-based draw of the record (uniform reals,
// integers, permutations) reads them, so a test knows each pick in advance and counts what a
// function consumed.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "VLK_RNG.h"

namespace vlk_test {

class ScriptedRng {
 public:
  explicit ScriptedRng(std::vector<double> script = {}, std::optional<double> after = {})
      : script_(std::move(script)), after_(after), rng_(VLK_RNG_new()) {
    rng_->source = &ScriptedRng::draw;
    rng_->source_context = this;
  }
  ~ScriptedRng() { VLK_RNG_delete(rng_); }
  ScriptedRng(const ScriptedRng&) = delete;
  ScriptedRng& operator=(const ScriptedRng&) = delete;

  VLK_RNG* get() { return rng_; }
  // Numbers handed out so far, and the size of every request.
  size_t used() const { return used_; }
  const std::vector<int>& requests() const { return requests_; }

 private:
  static void draw(void* context, double* out, int n) {
    auto* self = static_cast<ScriptedRng*>(context);
    self->requests_.push_back(n);
    for (int i = 0; i < n; ++i) {
      const size_t k = self->used_++;
      if (k < self->script_.size()) {
        out[i] = self->script_[k];
      } else if (self->after_) {
        out[i] = *self->after_;
      } else {
        ADD_FAILURE() << "the script of " << self->script_.size() << " numbers ran out";
        out[i] = 0.0;
      }
    }
  }

  std::vector<double> script_;
  std::optional<double> after_;
  VLK_RNG* rng_;
  size_t used_ = 0;
  std::vector<int> requests_;
};

}  // namespace vlk_test
