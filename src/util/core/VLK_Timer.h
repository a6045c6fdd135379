// Stopwatches of wall-clock or CPU time, and the section profiler of the reports.
#pragma once

#include <sys/time.h>

#include <cstddef>
#include <cstdio>
#include <ctime>

// Accumulates seconds over several start/stop intervals. type 0 reads gettimeofday, type 1
// the process CPU clock (clock ticks counted as microseconds).
struct VLK_Timer {
  struct timeval start;  // wall-clock time of the last start (type 0)
  clock_t start_clock;   // CPU clock of the last start (type 1)
  double elapsed;        // seconds of the closed intervals
  int running;           // 1 while an interval is open
  int type;              // 0 wall clock, 1 CPU time
  int laps;              // number of stop calls
};

VLK_Timer* VLK_Timer_new();
VLK_Timer* VLK_Timer_new_ar(size_t n);  // one block; VLK_Timer_delete frees it whole
void VLK_Timer_delete(VLK_Timer* t);
void VLK_Timer_start(VLK_Timer* t);
void VLK_Timer_stop(VLK_Timer* t);
double VLK_Timer_get(const VLK_Timer* t);
void VLK_Timer_clear(VLK_Timer* t);
void VLK_Timer_clear_start(VLK_Timer* t);
void VLK_Timer_set_type(VLK_Timer* t, int type);
void VLK_Timer_start_type(VLK_Timer* t, int type);
int VLK_Timer_get_type(const VLK_Timer* t);
void VLK_Timer_add(VLK_Timer* t, ...);
double VLK_Timer_get_avg_lap(const VLK_Timer* t);
double VLK_Timer_timeval_span(const struct timeval* start, const struct timeval* end);
void VLK_Timer_print_DDHHMMSS(FILE* fp, const VLK_Timer* t);
void VLK_Timer_print_DDHHMMSS_sec(FILE* fp, double seconds);

// Wall-clock time charged to whichever numbered section is current.
struct VLK_MultiTimer {
  struct timeval last;  // time of the last switch
  int current;          // current section, -1 for none
  size_t n;             // number of sections
  double* times;        // seconds charged to each section (n entries)
  double overhead;      // seconds spent inside VLK_MultiTimer_start itself
  char** labels;        // null, or n owned label strings (entries may be null)
};

VLK_MultiTimer* VLK_MultiTimer_new(size_t n);
VLK_MultiTimer* VLK_MultiTimer_new_labels(const char* const* labels);  // null-terminated
void VLK_MultiTimer_delete(VLK_MultiTimer* mt);
void VLK_MultiTimer_set_size(VLK_MultiTimer* mt, size_t size);
int VLK_MultiTimer_add(VLK_MultiTimer* mt, const char* label);
void VLK_MultiTimer_start(VLK_MultiTimer* mt, int id);
void VLK_MultiTimer_stop(VLK_MultiTimer* mt);
void VLK_MultiTimer_set_labels(VLK_MultiTimer* mt, const char* const* labels);
void VLK_MultiTimer_print(FILE* fp, double seconds);
void VLK_MultiTimer_report(const VLK_MultiTimer* mt, FILE* fp, const char* const* labels);
double VLK_MultiTimer_timeval_span(const struct timeval* start, const struct timeval* end);

namespace vlk {

// The operations above read the clock once and hand the instant to these forms, which hold
// all of the arithmetic; callers that already have an instant (and the tests) use them
// directly.
struct TimerNow {
  struct timeval wall;
  clock_t cpu;
};

TimerNow timer_now();  // both clocks
void timer_start_at(VLK_Timer* t, const TimerNow& now);
void timer_stop_at(VLK_Timer* t, const TimerNow& now);
double timer_get_at(const VLK_Timer* t, const TimerNow& now);
void timer_set_type_at(VLK_Timer* t, int type, const TimerNow& now);

// The switch of VLK_MultiTimer_start without its overhead bookkeeping.
void multitimer_switch_at(VLK_MultiTimer* mt, int id, const struct timeval& now);
void multitimer_stop_at(VLK_MultiTimer* mt, const struct timeval& now);

}  // namespace vlk
