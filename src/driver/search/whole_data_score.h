// The run's score on the whole data set: the nucleus data set record and the score arguments
// are lent the whole data for the initialisation, and given back.
#pragma once

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_Score.h"

namespace vlk {

// For its lifetime, the nucleus data set record holds the whole data (its node and sample
// counts, X and Y) and the score arguments a copy of their option list with "level" put in
// (appended last, so it wins over a level given in -S); the destructor gives both back. The
// values themselves are the caller's. A copy that cannot be made ends the process with
// "ERROR: Memory allocation failure (<what>)".
class WholeDataLoan {
 public:
  struct Whole {
    int nodes;
    int samples;
    double* X;
    double* Y;
  };

  WholeDataLoan(VLK_Data* nucleus, const Whole& whole, VLK_ScoreArgs* score_args, int level,
                const char* what);
  ~WholeDataLoan();
  WholeDataLoan(const WholeDataLoan&) = delete;
  WholeDataLoan& operator=(const WholeDataLoan&) = delete;

 private:
  VLK_Data* data_;
  int p_, n_;
  double* X_;
  double* Y_;
  VLK_ScoreArgs* score_args_;
  VLK_KeyValues* saved_options_;
  VLK_KeyValues* options_;
};

}  // namespace vlk

// Initialises score on the whole data set (nodes x samples values, X and Y both whole_values)
// through the nucleus data set, whose fields are restored afterwards, with the score option
// "level" set to `level` in a copy of the option list. Dynamic data is refused (exit status 1).
void init_score(int nodes, int samples, VLK_Data* data, double* whole_values, VLK_Score* score,
                VLK_ScoreArgs* score_args, int level, int dynamic);
