#include <gtest/gtest.h>

#include <climits>

#include "VLK_Util.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_test.h"

using vlk_test::capture;

TEST(Levels, InitSetsStreamAndLevels) {
  VLK_init();
  EXPECT_EQ(VELK_ERR, stderr);
  EXPECT_EQ(VLK_get_warning_level(), 1);
  VLK_set_warning_level(0);
  EXPECT_EQ(VLK_get_warning_level(), 0);
  VLK_set_warning_level(1);
  EXPECT_EQ(VLK_set_debug_level(3), 0);
  EXPECT_EQ(VLK_set_debug_level(0), 3);
}

TEST(Levels, PrintFlagsNamesTheBuild) {
  const std::string text = capture(VLK_print_flags);
  EXPECT_EQ(text.rfind("  Compile time flags:", 0), 0u);
  EXPECT_EQ(text.back(), '\n');
#ifdef USE_MPI
  EXPECT_NE(text.find(" USE_MPI"), std::string::npos);
#endif
}

TEST(Commas, SizeAndIntGroups) {
  struct Case {
    size_t v;
    const char* text;
  };
  for (const Case& c : {Case{0, "0"}, Case{999, "999"}, Case{1000, "1,000"}, Case{1001, "1,001"},
                        Case{1234567, "1,234,567"}, Case{1000000000000ULL, "1,000,000,000,000"},
                        Case{SIZE_MAX, "18,446,744,073,709,551,615"}}) {
    EXPECT_EQ(capture([&](FILE* fp) { VLK_Util_print_size_t_comma(fp, c.v); }), c.text) << c.v;
  }
  struct ICase {
    int v;
    const char* text;
  };
  for (const ICase& c :
       {ICase{0, "0"}, ICase{-5, "-5"}, ICase{-1000, "-1,000"}, ICase{2000001, "2,000,001"},
        ICase{INT_MAX, "2,147,483,647"}, ICase{INT_MIN, "-2,147,483,648"}}) {
    EXPECT_EQ(capture([&](FILE* fp) { VLK_Util_print_int_comma(fp, c.v); }), c.text) << c.v;
  }
}

TEST(TimeSpans, TimevalBorrowsMicroseconds) {
  const timeval start{10, 900000}, end{12, 100000};
  EXPECT_NEAR(VLK_Util_timeval_span(&start, &end), 1.2, 1e-12);
}

TEST(TimeSpans, RoundingVersusTruncation) {
  int d, h, m, s;
  VLK_Util_sec_to_day_hour_min_sec(93784.0, &d, &h, &m, &s);
  EXPECT_EQ((std::vector<int>{d, h, m, s}), (std::vector<int>{1, 2, 3, 4}));
  VLK_Util_sec_to_day_hour_min_sec(59.5, &d, &h, &m, &s);
  EXPECT_EQ((std::vector<int>{d, h, m, s}), (std::vector<int>{0, 0, 1, 0}));

  EXPECT_EQ(capture([](FILE* fp) { VLK_Util_print_sec_in_day_hour_min_sec(fp, 59.5); }),
            "0 day 00 hour 01 min 00 sec\n");
  EXPECT_EQ(capture([](FILE* fp) { VLK_Util_print_sec_in_day_hour_min_sec(fp, 93784.4); }),
            "1 day 02 hour 03 min 04 sec\n");
  const timeval start{100, 0}, end{159, 900000};
  EXPECT_EQ(capture([&](FILE* fp) { VLK_Util_print_timeval_span(fp, &start, &end); }),
            "0 day 00 hour 00 min 59 sec\n59.900000\tsec in total.\n");
}

TEST(Revision, Keywords) {
  EXPECT_STREQ(VLK_Util_get_svn_rev("$Rev: 255 $"), "255");
  EXPECT_STREQ(VLK_Util_get_svn_rev("$Rev 255 $"), "-");
  EXPECT_STREQ(VLK_Util_get_svn_rev("$Rev:"), "-");
  EXPECT_STREQ(VLK_Util_get_svn_rev(":"), "-");
  EXPECT_STREQ(VLK_Util_get_svn_rev(""), "-");
  const std::string long_kw = "$Rev: " + std::string(300, '9') + " $";
  EXPECT_STREQ(VLK_Util_get_svn_rev(long_kw.c_str()), "-");
  const std::string fits = "$Rev: " + std::string(240, '7') + " $";
  EXPECT_EQ(std::string(VLK_Util_get_svn_rev(fits.c_str())), std::string(240, '7'));
}

TEST(Fatal, EndingsAndText) {
  EXPECT_FATAL_EXIT(vlk::fatal("ERROR: bad %d\n", 3), "ERROR: bad 3\n");
  EXPECT_FATAL_ABORT(vlk::fatal_abort("FATAL ERROR: x()\n"), "FATAL ERROR: x()\n");
  const auto end = vlk_test::run_fatal([] {});
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.status, 0);
}

// A log file (or the null stream of the other processes) hides the line that ends the run; it
// goes to standard error as well, once, and only there when it belongs there alone.
TEST(Fatal, TheLineThatEndsTheRunReachesStandardError) {
  auto fatal_end = vlk_test::run_fatal([] { vlk::fatal("ERROR: bad %d\n", 4); });
  EXPECT_TRUE(fatal_end.exit1());
  EXPECT_EQ(fatal_end.err, "ERROR: bad 4\n");
  EXPECT_EQ(fatal_end.stderr_text, "ERROR: bad 4\n");

  auto abort_end = vlk_test::run_fatal([] { vlk::fatal_abort("FATAL ERROR: z()\n"); });
  EXPECT_TRUE(abort_end.aborted());
  EXPECT_EQ(abort_end.stderr_text, "FATAL ERROR: z()\n");

  auto own_end = vlk_test::run_fatal([] { vlk::fatal_stderr("ERROR: only here\n"); });
  EXPECT_TRUE(own_end.exit1());
  EXPECT_EQ(own_end.err, "");
  EXPECT_EQ(own_end.stderr_text, "ERROR: only here\n");

  auto on_stderr = vlk_test::run_fatal([] {
    VELK_ERR = stderr;
    vlk::fatal("ERROR: once\n");
  });
  EXPECT_EQ(on_stderr.stderr_text, "ERROR: once\n");
}
