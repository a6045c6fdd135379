#include "search/whole_data_score.h"

#include "vlk_fatal.h"

namespace vlk {

WholeDataLoan::WholeDataLoan(VLK_Data* nucleus, const Whole& whole, VLK_ScoreArgs* score_args,
                             int level, const char* what)
    : data_(nucleus),
      p_(nucleus->p),
      n_(nucleus->n),
      X_(nucleus->X),
      Y_(nucleus->Y),
      score_args_(score_args),
      saved_options_(score_args->options),
      options_(saved_options_ != nullptr ? VLK_KeyValues_clone(saved_options_)
                                         : VLK_KeyValues_new()) {
  data_->p = whole.nodes;
  data_->n = whole.samples;
  data_->X = whole.X;
  data_->Y = whole.Y;
  if (options_ == nullptr || VLK_KeyValues_put_int(options_, "level", level) == nullptr)
    vlk::fatal("ERROR: Memory allocation failure (%s)\n", what);
  score_args_->options = options_;
}

WholeDataLoan::~WholeDataLoan() {
  score_args_->options = saved_options_;
  VLK_KeyValues_delete(options_);
  data_->p = p_;
  data_->n = n_;
  data_->X = X_;
  data_->Y = Y_;
}

}  // namespace vlk

void init_score(int nodes, int samples, VLK_Data* data, double* whole_values, VLK_Score* score,
                VLK_ScoreArgs* sa, int level, int dynamic) {
  if (dynamic) vlk::fatal("ERROR: Dynamic model is not supported.\n");
  const vlk::WholeDataLoan loan(data, {nodes, samples, whole_values, whole_values}, sa, level,
                                "score options");
  VLK_Score_init(score, data, sa);
}
