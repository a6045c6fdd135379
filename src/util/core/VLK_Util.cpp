#include "VLK_Util.h"

#include <cstdint>
#include <cstring>
#include <string>

char VLK_Util_buff[256];

namespace {

// Groups of three digits, most significant without leading zeros. Seven groups hold any
// 64-bit magnitude.
std::string group_text(std::uint64_t magnitude) {
  int groups[7];
  int n = 0;
  do {
    groups[n++] = static_cast<int>(magnitude % 1000);
    magnitude /= 1000;
  } while (magnitude != 0 && n < 7);
  char buf[8];
  std::snprintf(buf, sizeof buf, "%d", groups[n - 1]);
  std::string out = buf;
  for (int i = n - 2; i >= 0; --i) {
    std::snprintf(buf, sizeof buf, ",%03d", groups[i]);
    out += buf;
  }
  return out;
}

void print_groups(FILE* fp, std::uint64_t magnitude) {
  std::fputs(group_text(magnitude).c_str(), fp);
}

void print_span(FILE* fp, int s) {
  int day, hour, min, sec;
  sec = s % 60;
  const int m = s / 60;
  min = m % 60;
  const int h = m / 60;
  hour = h % 24;
  day = h / 24;
  std::fprintf(fp, "%d day %02d hour %02d min %02d sec\n", day, hour, min, sec);
}

}  // namespace

void VLK_Util_print_size_t_comma(FILE* fp, size_t value) { print_groups(fp, value); }

std::string vlk::comma_text(size_t value) { return group_text(value); }

void VLK_Util_print_int_comma(FILE* fp, int value) {
  // The magnitude is taken in 64 bits so that INT_MIN prints as -2,147,483,648.
  std::int64_t v = value;
  if (v < 0) {
    std::fputc('-', fp);
    v = -v;
  }
  print_groups(fp, static_cast<std::uint64_t>(v));
}

double VLK_Util_timeval_span(const struct timeval* start, const struct timeval* end) {
  const int usec = static_cast<int>(end->tv_usec - start->tv_usec);
  const std::int64_t sec = static_cast<std::int64_t>(end->tv_sec) - start->tv_sec;
  return usec * 1e-6 + static_cast<double>(sec);
}

void VLK_Util_print_timeval_span(FILE* fp, const struct timeval* start, const struct timeval* end) {
  const double span = VLK_Util_timeval_span(start, end);
  print_span(fp, static_cast<int>(span));  // truncated toward zero
  std::fprintf(fp, "%f\tsec in total.\n", span);
}

void VLK_Util_sec_to_day_hour_min_sec(double seconds, int* day, int* hour, int* min, int* sec) {
  const int s = static_cast<int>(seconds + 0.5);
  *sec = s % 60;
  const int m = s / 60;
  *min = m % 60;
  const int h = m / 60;
  *hour = h % 24;
  *day = h / 24;
}

void VLK_Util_print_sec_in_day_hour_min_sec(FILE* fp, double seconds) {
  print_span(fp, static_cast<int>(seconds + 0.5));
}

char* VLK_Util_get_svn_rev(const char* keyword) {
  // "$Rev: N $": the text between ": " and " $". Anything else, or a keyword that does not
  // fit the buffer, gives "-".
  const size_t len = keyword ? std::strlen(keyword) : 0;
  if (keyword == nullptr || len >= sizeof VLK_Util_buff) {
    std::strcpy(VLK_Util_buff, "-");
    return VLK_Util_buff;
  }
  std::memcpy(VLK_Util_buff, keyword, len + 1);
  const char* colon = std::strchr(VLK_Util_buff, ':');
  const size_t begin = colon ? static_cast<size_t>(colon - VLK_Util_buff) + 2 : 0;
  if (colon == nullptr || len < 2 || begin >= len - 2) {
    std::strcpy(VLK_Util_buff, "-");
    return VLK_Util_buff;
  }
  VLK_Util_buff[len - 2] = '\0';
  return VLK_Util_buff + begin;
}
