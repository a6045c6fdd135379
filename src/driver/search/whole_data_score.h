// The run's score on the whole data set.
#pragma once

#include "VLK_Data.h"
#include "VLK_Score.h"

// Initialises score on the whole data set (nodes x samples values, X and Y both whole_values)
// through the nucleus data set, whose fields are restored afterwards, with the score option
// "level" set to `level` in a copy of the option list. Dynamic data is refused (exit status 1).
void init_score(int nodes, int samples, VLK_Data* data, double* whole_values, VLK_Score* score,
                VLK_ScoreArgs* score_args, int level, int dynamic);
