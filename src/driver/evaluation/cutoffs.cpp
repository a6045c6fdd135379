#include "evaluation/cutoffs.h"

#include <cstdio>

#include "velkcom.h"
#include "vlk_fatal.h"

namespace vlk::run {

std::string expand_cutoffs(double start, double end, double step, std::vector<double>* out) {
  char line[160];
  out->clear();
  if (!(step > 0.0)) {
    std::snprintf(line, sizeof line, "ERROR: the step of --cutoffs must be positive: %g\n", step);
    return line;
  }
  if (!(start - end < 1e-7)) {
    std::snprintf(line, sizeof line,
                  "ERROR: the start of --cutoffs is above its end: %g > %g, no cutoff\n", start,
                  end);
    return line;
  }
  double x = start;
  do {
    if (out->size() == static_cast<size_t>(kMaxCutoffs)) {
      out->clear();
      std::snprintf(line, sizeof line,
                    "ERROR: --cutoffs %g to %g by %g makes more than %d cutoffs\n", start, end,
                    step, kMaxCutoffs);
      return line;
    }
    out->push_back(x);
    x += step;
  } while (x - end < 1e-7);
  return {};
}

}  // namespace vlk::run

void parametric_cutoffs(Args* a) {
  if (a->cutoffs == nullptr || a->cutoff_mode != 1) return;
  std::fprintf(VELK_ERR, "Parametric Cutoffs...\n");
  if (a->cutoffs->size != 3) vlk::fatal("ERROR: specify three values for --cutoffs\n");
  const double start = a->cutoffs->data[0], end = a->cutoffs->data[1], step = a->cutoffs->data[2];
  std::vector<double> list;
  const std::string error = vlk::run::expand_cutoffs(start, end, step, &list);
  if (!error.empty()) vlk::fatal("%s", error.c_str());
  VLK_DoubleArray_clear(a->cutoffs);
  std::fprintf(VELK_ERR, "  Cut Offs: ");
  for (double x : list) {
    if (VLK_DoubleArray_add(a->cutoffs, x) == nullptr)
      vlk::fatal("ERROR: Memory allocation failure (cutoffs)\n");
    std::fprintf(VELK_ERR, " %.3f", x);
  }
  std::fprintf(VELK_ERR, "\n");
}
