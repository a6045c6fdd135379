// Console formatting of the reports: byte counts with thousands commas, time spans, revisions.
#pragma once

#include <sys/time.h>

#include <cstddef>
#include <cstdio>
#include <string>

extern char VLK_Util_buff[256];

void VLK_Util_print_size_t_comma(FILE* fp, size_t value);
void VLK_Util_print_int_comma(FILE* fp, int value);

namespace vlk {
// The text VLK_Util_print_size_t_comma prints, for a line printed in one piece.
std::string comma_text(size_t value);
}  // namespace vlk

double VLK_Util_timeval_span(const struct timeval* start, const struct timeval* end);
void VLK_Util_print_timeval_span(FILE* fp, const struct timeval* start, const struct timeval* end);
void VLK_Util_sec_to_day_hour_min_sec(double seconds, int* day, int* hour, int* min, int* sec);
void VLK_Util_print_sec_in_day_hour_min_sec(FILE* fp, double seconds);

char* VLK_Util_get_svn_rev(const char* keyword);
