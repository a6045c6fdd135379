#include "VLK_Timer.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "VLK_Util.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

constexpr int kWallClock = 0;
constexpr int kCpuClock = 1;

[[noreturn]] void illegal_type() { vlk::fatal("ERROR: VLK_Timer: illegal timer type.\n"); }

[[noreturn]] void out_of_memory() {
  vlk::fatal("FATAL ERROR: VLK_MultiTimer: Memory allocation failed.\n");
}

// acc plus the open interval up to `now`: whole seconds first, then the microseconds, so that
// get and stop round alike.
double add_open_interval(double acc, const VLK_Timer* t, const vlk::TimerNow& now) {
  switch (t->type) {
    case kWallClock:
      acc += static_cast<double>(now.wall.tv_sec - t->start.tv_sec);
      acc += static_cast<double>(now.wall.tv_usec - t->start.tv_usec) * 1e-6;
      return acc;
    case kCpuClock:
      return acc + static_cast<double>(now.cpu - t->start_clock) * 1e-6;
    default:
      illegal_type();
  }
}

struct timeval wall_now() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return tv;
}

// Reads only the clock the stopwatch runs on.
vlk::TimerNow now_for(int type) {
  vlk::TimerNow now{};
  if (type == kWallClock) now.wall = wall_now();
  if (type == kCpuClock) now.cpu = std::clock();
  return now;
}

void init_timer(VLK_Timer* t) {
  t->elapsed = 0.0;
  t->running = 0;
  t->type = kWallClock;
  t->laps = 0;
}

char* copy_label(const char* s) {
  if (s == nullptr) return nullptr;
  char* c = strdup(s);
  if (c == nullptr) out_of_memory();
  return c;
}

void* alloc_entries(size_t n, size_t size) {
  void* block = std::calloc(n ? n : 1, size);
  if (block == nullptr) out_of_memory();
  return block;
}

// A section that a shrink has removed is never charged.
void charge_current(VLK_MultiTimer* mt, const struct timeval& now) {
  if (mt->current >= 0 && static_cast<size_t>(mt->current) < mt->n)
    mt->times[mt->current] += VLK_Util_timeval_span(&mt->last, &now);
}

// days, hours and minutes of the whole seconds; the seconds field keeps the fraction
void print_day_form(FILE* fp, double seconds) {
  const int s = static_cast<int>(seconds);
  const int m = s / 60;
  const int h = m / 60;
  const double sec = seconds - 60.0 * m;
  std::fprintf(fp, "%d day %02d hour %02d min %06.3f sec", h / 24, h % 24, m % 60, sec);
}

}  // namespace

namespace vlk {

TimerNow timer_now() { return TimerNow{wall_now(), std::clock()}; }

void timer_start_at(VLK_Timer* t, const TimerNow& now) {
  if (t->type == kWallClock) t->start = now.wall;
  if (t->type == kCpuClock) t->start_clock = now.cpu;
  t->running = 1;
}

void timer_stop_at(VLK_Timer* t, const TimerNow& now) {
  if (t->type != kWallClock && t->type != kCpuClock) illegal_type();
  if (t->running) {
    t->elapsed = add_open_interval(t->elapsed, t, now);
    t->running = 0;
  }
  ++t->laps;
}

double timer_get_at(const VLK_Timer* t, const TimerNow& now) {
  if (t->type != kWallClock && t->type != kCpuClock) illegal_type();
  return t->running ? add_open_interval(t->elapsed, t, now) : t->elapsed;
}

void timer_set_type_at(VLK_Timer* t, int type, const TimerNow& now) {
  if (t->type == type) return;
  timer_stop_at(t, now);
  t->type = type;
  timer_start_at(t, now);
}

void multitimer_switch_at(VLK_MultiTimer* mt, int id, const struct timeval& now) {
  if (id < -1) {
    std::fprintf(VELK_ERR, "WARNING: VLK_MultiTimer: section id %d refused.\n", id);
    return;
  }
  if (id != -1 && static_cast<size_t>(id) >= mt->n)
    VLK_MultiTimer_set_size(mt, static_cast<size_t>(id) + 1);
  // Switching to -1 leaves the current section uncharged; stop is the way to close it.
  if (id != -1) charge_current(mt, now);
  mt->last = now;
  mt->current = id;
}

void multitimer_stop_at(VLK_MultiTimer* mt, const struct timeval& now) {
  charge_current(mt, now);
  mt->current = -1;
  mt->last = now;
}

}  // namespace vlk

// ---- stopwatch ----

VLK_Timer* VLK_Timer_new() { return VLK_Timer_new_ar(1); }

VLK_Timer* VLK_Timer_new_ar(size_t n) {
  auto* block = static_cast<VLK_Timer*>(std::calloc(n ? n : 1, sizeof(VLK_Timer)));
  if (block != nullptr)
    for (size_t i = 0; i < n; ++i) init_timer(&block[i]);
  return block;
}

void VLK_Timer_delete(VLK_Timer* t) { std::free(t); }

void VLK_Timer_start(VLK_Timer* t) { vlk::timer_start_at(t, now_for(t->type)); }

void VLK_Timer_stop(VLK_Timer* t) { vlk::timer_stop_at(t, now_for(t->type)); }

double VLK_Timer_get(const VLK_Timer* t) { return vlk::timer_get_at(t, now_for(t->type)); }

void VLK_Timer_clear(VLK_Timer* t) {
  t->elapsed = 0.0;
  t->running = 0;
}

void VLK_Timer_clear_start(VLK_Timer* t) {
  VLK_Timer_clear(t);
  VLK_Timer_start(t);
}

void VLK_Timer_set_type(VLK_Timer* t, int type) {
  if (t->type != type) vlk::timer_set_type_at(t, type, vlk::timer_now());
}

void VLK_Timer_start_type(VLK_Timer* t, int type) {
  VLK_Timer_set_type(t, type);
  VLK_Timer_start(t);
}

int VLK_Timer_get_type(const VLK_Timer* t) { return t->type; }

void VLK_Timer_add(VLK_Timer*, ...) {}

double VLK_Timer_get_avg_lap(const VLK_Timer* t) {
  std::fflush(VELK_ERR);
  // No lap yet: no average to report.
  return t->laps ? t->elapsed / t->laps : 0.0;
}

double VLK_Timer_timeval_span(const struct timeval* start, const struct timeval* end) {
  return VLK_Util_timeval_span(start, end);
}

void VLK_Timer_print_DDHHMMSS(FILE* fp, const VLK_Timer* t) {
  VLK_Timer_print_DDHHMMSS_sec(fp, VLK_Timer_get(t));
}

void VLK_Timer_print_DDHHMMSS_sec(FILE* fp, double seconds) {
  int day, hour, min, sec;
  VLK_Util_sec_to_day_hour_min_sec(seconds, &day, &hour, &min, &sec);
  std::fprintf(fp, "%d day %02d hour %02d min %02d sec", day, hour, min, sec);
}

// ---- section profiler ----

VLK_MultiTimer* VLK_MultiTimer_new(size_t n) {
  auto* mt = static_cast<VLK_MultiTimer*>(alloc_entries(1, sizeof(VLK_MultiTimer)));
  mt->current = -1;
  mt->n = n;
  mt->times = static_cast<double*>(alloc_entries(n, sizeof(double)));
  mt->overhead = 0.0;
  mt->labels = nullptr;
  return mt;
}

VLK_MultiTimer* VLK_MultiTimer_new_labels(const char* const* labels) {
  size_t n = 0;
  while (labels != nullptr && labels[n] != nullptr) ++n;
  VLK_MultiTimer* mt = VLK_MultiTimer_new(n);
  mt->labels = static_cast<char**>(alloc_entries(n, sizeof(char*)));
  for (size_t i = 0; i < n; ++i) mt->labels[i] = copy_label(labels[i]);
  return mt;
}

void VLK_MultiTimer_delete(VLK_MultiTimer* mt) {
  if (mt == nullptr) return;
  if (mt->labels != nullptr)
    for (size_t i = 0; i < mt->n; ++i) std::free(mt->labels[i]);
  std::free(mt->labels);
  std::free(mt->times);
  std::free(mt);
}

void VLK_MultiTimer_set_size(VLK_MultiTimer* mt, size_t size) {
  if (size <= mt->n) {
    // The dropped labels are released now, so that a later growth can open the slots empty.
    if (mt->labels != nullptr)
      for (size_t i = size; i < mt->n; ++i) {
        std::free(mt->labels[i]);
        mt->labels[i] = nullptr;
      }
    mt->n = size;
    return;
  }
  if (size > std::numeric_limits<size_t>::max() / sizeof(double)) out_of_memory();
  void* times = std::realloc(mt->times, size * sizeof(double));
  if (times == nullptr) out_of_memory();
  mt->times = static_cast<double*>(times);
  if (mt->labels != nullptr) {
    void* labels = std::realloc(mt->labels, size * sizeof(char*));
    if (labels == nullptr) out_of_memory();
    mt->labels = static_cast<char**>(labels);
  }
  for (size_t i = mt->n; i < size; ++i) {
    mt->times[i] = 0.0;
    if (mt->labels != nullptr) mt->labels[i] = nullptr;
  }
  mt->n = size;
}

int VLK_MultiTimer_add(VLK_MultiTimer* mt, const char* label) {
  VLK_MultiTimer_set_size(mt, mt->n + 1);
  const size_t id = mt->n - 1;
  if (label != nullptr && mt->labels != nullptr) mt->labels[id] = copy_label(label);
  return static_cast<int>(id);
}

void VLK_MultiTimer_start(VLK_MultiTimer* mt, int id) {
  const struct timeval now = wall_now();
  vlk::multitimer_switch_at(mt, id, now);
  const struct timeval after = wall_now();
  mt->overhead += VLK_Util_timeval_span(&now, &after);
}

void VLK_MultiTimer_stop(VLK_MultiTimer* mt) { vlk::multitimer_stop_at(mt, wall_now()); }

void VLK_MultiTimer_set_labels(VLK_MultiTimer* mt, const char* const* labels) {
  if (labels == nullptr) return;
  if (mt->labels == nullptr) mt->labels = static_cast<char**>(alloc_entries(mt->n, sizeof(char*)));
  // Copy before freeing: the given array may be the profiler's own.
  for (size_t i = 0; i < mt->n; ++i) {
    char* copy = copy_label(labels[i]);
    std::free(mt->labels[i]);
    mt->labels[i] = copy;
  }
}

void VLK_MultiTimer_print(FILE* fp, double seconds) { print_day_form(fp, seconds); }

void VLK_MultiTimer_report(const VLK_MultiTimer* mt, FILE* fp, const char* const* labels) {
  double total = 0.0;
  for (size_t i = 0; i < mt->n; ++i) {
    const char* label = labels != nullptr       ? labels[i]
                        : mt->labels != nullptr ? mt->labels[i]
                                                : nullptr;
    char tag[256];
    if (label != nullptr) {
      std::snprintf(tag, sizeof tag, "%s", label);
      std::fprintf(fp, "%s: ", tag);
      for (char* c = tag; *c != '\0'; ++c)
        *c = *c == ' ' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
    print_day_form(fp, mt->times[i]);
    std::fprintf(fp, "\n");
    if (label != nullptr) std::fprintf(VELK_ERR, "X-%s\t%.6f\n", tag, mt->times[i]);
    total += mt->times[i];
  }
  std::fprintf(fp, "Total time: ");
  print_day_form(fp, total);
  std::fprintf(VELK_ERR, "\nX-TOTAL-TIME\t%.6f\n", total);
}

double VLK_MultiTimer_timeval_span(const struct timeval* start, const struct timeval* end) {
  return VLK_Util_timeval_span(start, end);
}
