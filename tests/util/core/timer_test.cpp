#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "VLK_Timer.h"
#include "velkcom.h"
#include "vlk_owned.h"
#include "vlk_test.h"

using vlk_test::capture;
using vlk_test::CaptureErr;

namespace {

using TimerPtr = vlk::Owned<VLK_Timer, VLK_Timer_delete>;

using MultiPtr = vlk::Owned<VLK_MultiTimer, VLK_MultiTimer_delete>;

// An instant given as seconds and microseconds of both clocks.
vlk::TimerNow at(long sec, long usec, clock_t cpu = 0) {
  vlk::TimerNow now{};
  now.wall.tv_sec = sec;
  now.wall.tv_usec = usec;
  now.cpu = cpu;
  return now;
}

timeval tv(long sec, long usec) {
  timeval t{};
  t.tv_sec = sec;
  t.tv_usec = usec;
  return t;
}

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override { VLK_init(); }
};

}  // namespace

// ---- stopwatch ----

TEST_F(TimerTest, NewStopwatchesAreStoppedWallClocks) {
  TimerPtr t(VLK_Timer_new());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->elapsed, 0.0);
  EXPECT_EQ(t->running, 0);
  EXPECT_EQ(VLK_Timer_get_type(t.get()), 0);
  EXPECT_EQ(t->laps, 0);

  TimerPtr block(VLK_Timer_new_ar(3));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(block.get()[i].elapsed, 0.0);
    EXPECT_EQ(block.get()[i].running, 0);
    EXPECT_EQ(block.get()[i].type, 0);
    EXPECT_EQ(block.get()[i].laps, 0);
  }
}

TEST_F(TimerTest, WallIntervalsAccumulateAndCountLaps) {
  TimerPtr t(VLK_Timer_new());
  VLK_Timer* w = t.get();

  // A span whose end has fewer microseconds than its start borrows.
  vlk::timer_start_at(w, at(10, 900000));
  EXPECT_EQ(w->running, 1);
  EXPECT_NEAR(vlk::timer_get_at(w, at(11, 0)), 0.1, 1e-12);
  EXPECT_EQ(w->elapsed, 0.0) << "get leaves the stopwatch unchanged";
  vlk::timer_stop_at(w, at(12, 100000));
  EXPECT_NEAR(w->elapsed, 1.2, 1e-12);
  EXPECT_EQ(w->running, 0);
  EXPECT_EQ(w->laps, 1);

  // A stopped stopwatch neither grows nor loses time, but a stop still counts a lap.
  EXPECT_NEAR(vlk::timer_get_at(w, at(500, 0)), 1.2, 1e-12);
  vlk::timer_stop_at(w, at(600, 0));
  EXPECT_NEAR(w->elapsed, 1.2, 1e-12);
  EXPECT_EQ(w->laps, 2);

  // Starting a running stopwatch drops its open interval.
  vlk::timer_start_at(w, at(20, 0));
  vlk::timer_start_at(w, at(30, 0));
  EXPECT_NEAR(vlk::timer_get_at(w, at(33, 500000)), 4.7, 1e-12);
  vlk::timer_stop_at(w, at(33, 500000));
  EXPECT_NEAR(w->elapsed, 4.7, 1e-12);
  EXPECT_EQ(w->laps, 3);
  EXPECT_NEAR(VLK_Timer_get_avg_lap(w), 4.7 / 3, 1e-12);

  VLK_Timer_clear(w);
  EXPECT_EQ(w->elapsed, 0.0);
  EXPECT_EQ(w->running, 0);
  EXPECT_EQ(w->laps, 3) << "clear keeps the lap count";
}

TEST_F(TimerTest, CpuIntervalsCountTicksAsMicroseconds) {
  TimerPtr t(VLK_Timer_new());
  VLK_Timer* c = t.get();
  c->type = 1;
  const timeval wall_before = c->start;
  vlk::timer_start_at(c, at(99, 99, 1000));
  EXPECT_EQ(c->start_clock, 1000);
  EXPECT_EQ(c->start.tv_sec, wall_before.tv_sec) << "a CPU stopwatch ignores the wall clock";
  EXPECT_NEAR(vlk::timer_get_at(c, at(0, 0, 501000)), 0.5, 1e-12);
  vlk::timer_stop_at(c, at(0, 0, 2501000));
  EXPECT_NEAR(c->elapsed, 2.5, 1e-12);
}

TEST_F(TimerTest, SetTypeClosesTheIntervalAndRestartsUnderTheNewClock) {
  TimerPtr t(VLK_Timer_new());
  VLK_Timer* w = t.get();

  // Same type: nothing happens, not even a lap.
  vlk::timer_set_type_at(w, 0, at(5, 0));
  EXPECT_EQ(w->laps, 0);
  EXPECT_EQ(w->running, 0);

  // Stopped wall stopwatch to CPU: one more lap, running under the new type from now.
  vlk::timer_set_type_at(w, 1, at(5, 0, 7000));
  EXPECT_EQ(w->type, 1);
  EXPECT_EQ(w->running, 1);
  EXPECT_EQ(w->laps, 1);
  EXPECT_EQ(w->elapsed, 0.0);
  EXPECT_EQ(w->start_clock, 7000);

  // Running CPU stopwatch back to wall: the CPU interval is closed and counted.
  vlk::timer_set_type_at(w, 0, at(40, 250000, 1007000));
  EXPECT_NEAR(w->elapsed, 1.0, 1e-12);
  EXPECT_EQ(w->laps, 2);
  EXPECT_EQ(w->running, 1);
  EXPECT_EQ(w->start.tv_sec, 40);
  EXPECT_EQ(w->start.tv_usec, 250000);
  vlk::timer_stop_at(w, at(42, 250000));
  EXPECT_NEAR(w->elapsed, 3.0, 1e-12);
}

TEST_F(TimerTest, StartTypeAlwaysRestartsTheOpenInterval) {
  TimerPtr t(VLK_Timer_new());
  VLK_Timer_start_type(t.get(), 0);
  EXPECT_EQ(t->running, 1);
  EXPECT_EQ(t->laps, 0) << "same type: no stop";
  VLK_Timer_start_type(t.get(), 1);
  EXPECT_EQ(t->type, 1);
  EXPECT_EQ(t->running, 1);
  EXPECT_EQ(t->laps, 1);
}

TEST_F(TimerTest, RealClocksOnlyMoveForward) {
  for (int type : {0, 1}) {
    TimerPtr t(VLK_Timer_new());
    VLK_Timer_set_type(t.get(), type);
    VLK_Timer_clear_start(t.get());
    const double first = VLK_Timer_get(t.get());
    const double second = VLK_Timer_get(t.get());
    EXPECT_GE(first, 0.0);
    EXPECT_GE(second, first);
    EXPECT_EQ(t->elapsed, 0.0);
    VLK_Timer_stop(t.get());
    EXPECT_GE(t->elapsed, second);
    EXPECT_LT(t->elapsed, 60.0);
    EXPECT_EQ(t->running, 0);
  }
}

TEST_F(TimerTest, IllegalTypeEndsStopAndGet) {
  const char* line = "ERROR: VLK_Timer: illegal timer type.\n";
  for (bool running : {false, true}) {
    SCOPED_TRACE(running ? "running" : "stopped");
    EXPECT_FATAL_EXIT(
        {
          VLK_Timer* t = VLK_Timer_new();
          t->type = 2;
          t->running = running;
          VLK_Timer_stop(t);
        },
        line);
    EXPECT_FATAL_EXIT(
        {
          VLK_Timer* t = VLK_Timer_new();
          t->type = -1;
          t->running = running;
          VLK_Timer_get(t);
        },
        line);
  }
  // Reaching an illegal type through set_type: the wall interval is closed first.
  EXPECT_FATAL_EXIT(
      {
        VLK_Timer* t = VLK_Timer_new();
        VLK_Timer_set_type(t, 5);
        VLK_Timer_stop(t);
      },
      line);
}

TEST_F(TimerTest, StartUnderIllegalTypeRecordsNothingButRuns) {
  TimerPtr t(VLK_Timer_new());
  vlk::timer_start_at(t.get(), at(3, 4, 5));
  t->type = 9;
  vlk::timer_start_at(t.get(), at(100, 200, 300));
  EXPECT_EQ(t->running, 1);
  EXPECT_EQ(t->start.tv_sec, 3);
  EXPECT_EQ(t->start.tv_usec, 4);
  EXPECT_EQ(t->start_clock, 0);
}

TEST_F(TimerTest, AverageLapWithoutLapsIsZero) {
  TimerPtr t(VLK_Timer_new());
  t->elapsed = 5.0;
  EXPECT_EQ(VLK_Timer_get_avg_lap(t.get()), 0.0);
}

TEST_F(TimerTest, DayFormRoundsToTheNearestSecond) {
  struct Case {
    double seconds;
    const char* text;
  };
  for (const Case& c :
       {Case{0.0, "0 day 00 hour 00 min 00 sec"}, Case{0.49, "0 day 00 hour 00 min 00 sec"},
        Case{59.5, "0 day 00 hour 01 min 00 sec"}, Case{3725.25, "0 day 01 hour 02 min 05 sec"},
        Case{93784.0, "1 day 02 hour 03 min 04 sec"},
        Case{10 * 86400.0 + 86399.6, "11 day 00 hour 00 min 00 sec"}}) {
    EXPECT_EQ(capture([&](FILE* fp) { VLK_Timer_print_DDHHMMSS_sec(fp, c.seconds); }), c.text)
        << c.seconds;
  }
  TimerPtr t(VLK_Timer_new());
  t->elapsed = 3725.6;
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Timer_print_DDHHMMSS(fp, t.get()); }),
            "0 day 01 hour 02 min 06 sec");
}

TEST_F(TimerTest, TimevalSpansBorrow) {
  const timeval a = tv(10, 900000), b = tv(12, 100000);
  EXPECT_NEAR(VLK_Timer_timeval_span(&a, &b), 1.2, 1e-12);
  EXPECT_NEAR(VLK_MultiTimer_timeval_span(&a, &b), 1.2, 1e-12);
  EXPECT_NEAR(VLK_MultiTimer_timeval_span(&b, &a), -1.2, 1e-12);
}

// ---- section profiler ----

TEST_F(TimerTest, ProfilerChargesTheCurrentSection) {
  MultiPtr m(VLK_MultiTimer_new(7));
  VLK_MultiTimer* mt = m.get();
  ASSERT_EQ(mt->n, 7u);
  EXPECT_EQ(mt->current, -1);
  EXPECT_EQ(mt->overhead, 0.0);
  EXPECT_EQ(mt->labels, nullptr);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(mt->times[i], 0.0);

  vlk::multitimer_switch_at(mt, 0, tv(100, 0));  // nothing current: nothing charged
  vlk::multitimer_switch_at(mt, 2, tv(101, 500000));
  vlk::multitimer_switch_at(mt, 2, tv(102, 0));  // same section: charged and continued
  EXPECT_NEAR(mt->times[0], 1.5, 1e-12);
  EXPECT_NEAR(mt->times[2], 0.5, 1e-12);
  EXPECT_EQ(mt->current, 2);

  // Switching to -1 drops the open time of the current section.
  vlk::multitimer_switch_at(mt, -1, tv(105, 0));
  EXPECT_NEAR(mt->times[2], 0.5, 1e-12);
  EXPECT_EQ(mt->current, -1);
  EXPECT_EQ(mt->last.tv_sec, 105);

  // Stop with nothing current charges nothing but moves the switch time.
  vlk::multitimer_stop_at(mt, tv(106, 0));
  EXPECT_EQ(mt->last.tv_sec, 106);

  // Stop closes the section with its time.
  vlk::multitimer_switch_at(mt, 6, tv(110, 0));
  vlk::multitimer_stop_at(mt, tv(112, 250000));
  EXPECT_NEAR(mt->times[6], 2.25, 1e-12);
  EXPECT_EQ(mt->current, -1);
  EXPECT_EQ(mt->last.tv_sec, 112);
  EXPECT_EQ(mt->last.tv_usec, 250000);
  for (size_t i : {1, 3, 4, 5}) EXPECT_EQ(mt->times[i], 0.0) << i;
}

TEST_F(TimerTest, SwitchingBeyondTheLastSectionGrows) {
  for (bool current : {false, true}) {
    SCOPED_TRACE(current ? "a section current" : "none current");
    const char* names[] = {"a", "b", "c", "d", "e", "f", "g", nullptr};
    MultiPtr m(VLK_MultiTimer_new_labels(names));
    VLK_MultiTimer* mt = m.get();
    if (current) vlk::multitimer_switch_at(mt, 3, tv(0, 0));
    vlk::multitimer_switch_at(mt, 9, tv(4, 0));
    ASSERT_EQ(mt->n, 10u);
    EXPECT_EQ(mt->current, 9);
    EXPECT_NEAR(mt->times[3], current ? 4.0 : 0.0, 1e-12);
    for (size_t i = 7; i < 10; ++i) {
      EXPECT_EQ(mt->times[i], 0.0);
      EXPECT_EQ(mt->labels[i], nullptr);
    }
    EXPECT_STREQ(mt->labels[6], "g");
  }
}

TEST_F(TimerTest, IdsBelowMinusOneAreRefused) {
  CaptureErr err;
  MultiPtr m(VLK_MultiTimer_new(3));
  VLK_MultiTimer* mt = m.get();
  vlk::multitimer_switch_at(mt, 1, tv(10, 0));
  VLK_MultiTimer_start(mt, -2);
  vlk::multitimer_switch_at(mt, -7, tv(20, 0));
  EXPECT_EQ(mt->n, 3u);
  EXPECT_EQ(mt->current, 1);
  EXPECT_EQ(mt->last.tv_sec, 10);
  EXPECT_EQ(mt->times[1], 0.0);
  EXPECT_EQ(err.text(),
            "WARNING: VLK_MultiTimer: section id -2 refused.\n"
            "WARNING: VLK_MultiTimer: section id -7 refused.\n");
}

TEST_F(TimerTest, GrowingAfterAShrinkOpensEmptySections) {
  const char* names[] = {"s0", "s1", "s2", "s3", "s4", "s5", nullptr};
  MultiPtr m(VLK_MultiTimer_new_labels(names));
  VLK_MultiTimer* mt = m.get();
  for (size_t i = 0; i < 6; ++i) mt->times[i] = 1.0 + static_cast<double>(i);
  VLK_MultiTimer_set_size(mt, 2);
  EXPECT_EQ(mt->n, 2u);
  EXPECT_EQ(mt->times[1], 2.0);
  VLK_MultiTimer_set_size(mt, 5);
  ASSERT_EQ(mt->n, 5u);
  EXPECT_EQ(mt->times[1], 2.0);
  EXPECT_STREQ(mt->labels[1], "s1");
  for (size_t i = 2; i < 5; ++i) {
    EXPECT_EQ(mt->times[i], 0.0) << i;
    EXPECT_EQ(mt->labels[i], nullptr) << i;
  }
}

TEST_F(TimerTest, ASectionRemovedByAShrinkIsNeverCharged) {
  MultiPtr m(VLK_MultiTimer_new(10));
  VLK_MultiTimer* mt = m.get();
  vlk::multitimer_switch_at(mt, 8, tv(0, 0));
  VLK_MultiTimer_set_size(mt, 3);
  VLK_MultiTimer_set_size(mt, 4);  // may move the block to 4 entries
  vlk::multitimer_switch_at(mt, 1, tv(5, 0));
  vlk::multitimer_stop_at(mt, tv(6, 0));
  EXPECT_NEAR(mt->times[1], 1.0, 1e-12);
  for (size_t i : {0, 2, 3}) EXPECT_EQ(mt->times[i], 0.0) << i;
}

TEST_F(TimerTest, AddAndLabelsAreCopies) {
  char first[] = "Score init";
  const char* names[] = {first, "Search", nullptr};
  MultiPtr m(VLK_MultiTimer_new_labels(names));
  VLK_MultiTimer* mt = m.get();
  first[0] = 'X';
  ASSERT_EQ(mt->n, 2u);
  EXPECT_STREQ(mt->labels[0], "Score init");
  EXPECT_EQ(VLK_MultiTimer_add(mt, "TwoStep Other"), 2);
  EXPECT_EQ(VLK_MultiTimer_add(mt, nullptr), 3);
  ASSERT_EQ(mt->n, 4u);
  EXPECT_STREQ(mt->labels[2], "TwoStep Other");
  EXPECT_EQ(mt->labels[3], nullptr);
  EXPECT_EQ(mt->times[3], 0.0);

  // Without a label array a label is not kept.
  MultiPtr plain(VLK_MultiTimer_new(0));
  EXPECT_EQ(VLK_MultiTimer_add(plain.get(), "x"), 0);
  EXPECT_EQ(plain->labels, nullptr);
  EXPECT_EQ(plain->n, 1u);

  // set_labels allocates the array when absent, and may be given the profiler's own labels.
  const char* two[] = {"a b", "c"};
  MultiPtr p(VLK_MultiTimer_new(2));
  VLK_MultiTimer_set_labels(p.get(), two);
  ASSERT_NE(p->labels, nullptr);
  EXPECT_STREQ(p->labels[0], "a b");
  EXPECT_STREQ(p->labels[1], "c");
  VLK_MultiTimer_set_labels(p.get(), p->labels);
  EXPECT_STREQ(p->labels[0], "a b");

  MultiPtr empty(VLK_MultiTimer_new_labels(nullptr));
  EXPECT_EQ(empty->n, 0u);
  EXPECT_EQ(VLK_MultiTimer_add(empty.get(), "late"), 0);
  EXPECT_STREQ(empty->labels[0], "late");
}

TEST_F(TimerTest, PrintKeepsTheFractionOfTheSeconds) {
  struct Case {
    double seconds;
    const char* text;
  };
  for (const Case& c : {Case{0.0, "0 day 00 hour 00 min 00.000 sec"},
                        Case{3725.25, "0 day 01 hour 02 min 05.250 sec"},
                        Case{59.9, "0 day 00 hour 00 min 59.900 sec"},
                        Case{93784.5, "1 day 02 hour 03 min 04.500 sec"},
                        Case{7.0625, "0 day 00 hour 00 min 07.062 sec"}}) {
    EXPECT_EQ(capture([&](FILE* fp) { VLK_MultiTimer_print(fp, c.seconds); }), c.text) << c.seconds;
  }
}

TEST_F(TimerTest, ReportPrintsSectionsTagsAndTotal) {
  const char* names[] = {"search step", "Init", nullptr};
  MultiPtr m(VLK_MultiTimer_new_labels(names));
  VLK_MultiTimer* mt = m.get();
  VLK_MultiTimer_add(mt, nullptr);  // a section without a label
  mt->times[0] = 3725.25;
  mt->times[1] = 0.5;
  mt->times[2] = 1.0;

  CaptureErr err;
  const std::string out = capture([&](FILE* fp) { VLK_MultiTimer_report(mt, fp, nullptr); });
  EXPECT_EQ(out,
            "search step: 0 day 01 hour 02 min 05.250 sec\n"
            "Init: 0 day 00 hour 00 min 00.500 sec\n"
            "0 day 00 hour 00 min 01.000 sec\n"
            "Total time: 0 day 01 hour 02 min 06.750 sec");
  EXPECT_EQ(err.text(),
            "X-SEARCH-STEP\t3725.250000\n"
            "X-INIT\t0.500000\n"
            "\nX-TOTAL-TIME\t3726.750000\n");
}

TEST_F(TimerTest, ReportLabelsArgumentTakesPrecedence) {
  const char* own[] = {"own one", "own two", nullptr};
  MultiPtr m(VLK_MultiTimer_new_labels(own));
  const char* given[] = {"given a", nullptr};
  CaptureErr err;
  const std::string out = capture([&](FILE* fp) { VLK_MultiTimer_report(m.get(), fp, given); });
  EXPECT_EQ(out,
            "given a: 0 day 00 hour 00 min 00.000 sec\n"
            "0 day 00 hour 00 min 00.000 sec\n"
            "Total time: 0 day 00 hour 00 min 00.000 sec");
  EXPECT_EQ(err.text(), "X-GIVEN-A\t0.000000\n\nX-TOTAL-TIME\t0.000000\n");
}

TEST_F(TimerTest, ReportWithoutLabelsHasOnlyTheTotalTag) {
  MultiPtr m(VLK_MultiTimer_new(2));
  m->times[1] = 2.5;
  CaptureErr err;
  // Printed to the diagnostic stream itself, the total line ends with the tag's newline.
  VLK_MultiTimer_report(m.get(), VELK_ERR, nullptr);
  EXPECT_EQ(err.text(),
            "0 day 00 hour 00 min 00.000 sec\n"
            "0 day 00 hour 00 min 02.500 sec\n"
            "Total time: 0 day 00 hour 00 min 02.500 sec\n"
            "X-TOTAL-TIME\t2.500000\n");
}

TEST_F(TimerTest, ReportCutsLongLabels) {
  const std::string label(300, 'a');
  const char* names[] = {label.c_str(), nullptr};
  MultiPtr m(VLK_MultiTimer_new_labels(names));
  CaptureErr err;
  const std::string out = capture([&](FILE* fp) { VLK_MultiTimer_report(m.get(), fp, nullptr); });
  EXPECT_EQ(out.substr(0, 257), std::string(255, 'a') + ": ");
  EXPECT_EQ(err.text().substr(0, 258), "X-" + std::string(255, 'A') + "\t");
}

TEST_F(TimerTest, RealSwitchesChargeNonNegativeTime) {
  MultiPtr m(VLK_MultiTimer_new(2));
  VLK_MultiTimer_start(m.get(), 0);
  VLK_MultiTimer_start(m.get(), 1);
  VLK_MultiTimer_stop(m.get());
  EXPECT_EQ(m->current, -1);
  EXPECT_GE(m->times[0], 0.0);
  EXPECT_GE(m->times[1], 0.0);
  EXPECT_GE(m->overhead, 0.0);
  EXPECT_LT(m->times[0] + m->times[1] + m->overhead, 60.0);
}

TEST_F(TimerTest, ProfilerThatCannotGrowEnds) {
  EXPECT_FATAL_EXIT(
      {
        VLK_MultiTimer* mt = VLK_MultiTimer_new(1);
        VLK_MultiTimer_set_size(mt, SIZE_MAX);
      },
      "FATAL ERROR: VLK_MultiTimer: Memory allocation failed.\n");
}
