#include "output/timing_report.h"

#include <cstdio>

#include "VLK_Util.h"
#include "velkcom.h"

void timing_report(const Args* a, const VLK_Timer* timers) {
  FILE* fp = VELK_ERR;
  std::fprintf(fp, "Total communication time: %f [sec]\n", a->comm_time);
  VLK_Util_print_sec_in_day_hour_min_sec(fp, a->comm_time);
  std::fprintf(fp, "Total single part time: %f [sec]\n", a->single_time);
  VLK_Util_print_sec_in_day_hour_min_sec(fp, a->single_time);
  struct Line {
    const char* label;
    const char* key;
    const VLK_Timer* timer;
  };
  const Line lines[] = {{"Total running time: ", "X-ALL-TIME", &timers[0]},
                        {"Inner running Time: ", "X-IN-TIME", &timers[1]},
                        {"Init Time: ", "X-INIT-TIME", a->init_timer},
                        {"Algo Time: ", "X-ALGO-TIME", a->search_timer}};
  for (const Line& l : lines) {
    std::fprintf(fp, "%s", l.label);
    VLK_Timer_print_DDHHMMSS(fp, l.timer);
    std::fprintf(fp, "\n%s\t%f\n", l.key, VLK_Timer_get(l.timer));
  }
  std::fflush(fp);
}
