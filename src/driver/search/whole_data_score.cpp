#include "search/whole_data_score.h"

#include "VLK_KeyValues.h"
#include "vlk_fatal.h"

void init_score(int nodes, int samples, VLK_Data* data, double* whole_values, VLK_Score* score,
                VLK_ScoreArgs* sa, int level, int dynamic) {
  if (dynamic) vlk::fatal("ERROR: Dynamic model is not supported.\n");
  const int saved_p = data->p, saved_n = data->n;
  double* const saved_X = data->X;
  double* const saved_Y = data->Y;
  data->p = nodes;
  data->n = samples;
  data->X = whole_values;
  data->Y = whole_values;

  VLK_KeyValues* const saved_options = sa->options;
  VLK_KeyValues* options =
      saved_options != nullptr ? VLK_KeyValues_clone(saved_options) : VLK_KeyValues_new();
  if (options == nullptr || VLK_KeyValues_put_int(options, "level", level) == nullptr)
    vlk::fatal("ERROR: Memory allocation failure (score options)\n");
  sa->options = options;
  VLK_Score_init(score, data, sa);
  sa->options = saved_options;
  VLK_KeyValues_delete(options);

  data->p = saved_p;
  data->n = saved_n;
  data->X = saved_X;
  data->Y = saved_Y;
}
