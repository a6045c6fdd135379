#include "vlk_fatal.h"

#include <cstdio>
#include <cstdlib>

#include "velkcom.h"

namespace vlk {

namespace {

[[noreturn]] void end(End how) {
  if (how == End::abort) std::abort();
  // One process leaving alone would leave the others waiting in their next collective call.
  mpi_abort_if_running(1);
  std::exit(1);
}

void print_to(FILE* out, const char* fmt, va_list ap) {
  std::vfprintf(out, fmt, ap);
  std::fflush(out);
}

void vreport(const char* fmt, va_list ap) {
  FILE* out = VELK_ERR != nullptr ? VELK_ERR : stderr;
  va_list again;
  va_copy(again, ap);
  print_to(out, fmt, ap);
  // With a log file (or /dev/null on the other processes) the line would reach nobody who is
  // watching the terminal.
  if (out != stderr) print_to(stderr, fmt, again);
  va_end(again);
}

}  // namespace

void vdie(End how, const char* fmt, va_list ap) {
  vreport(fmt, ap);
  end(how);
}

void report(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vreport(fmt, ap);
  va_end(ap);
}

void die(End how, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vdie(how, fmt, ap);
}

void fatal(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vdie(End::exit1, fmt, ap);
}

void fatal_abort(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vdie(End::abort, fmt, ap);
}

void fatal_stderr(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  print_to(stderr, fmt, ap);
  va_end(ap);
  end(End::exit1);
}

#ifndef USE_MPI
void mpi_abort_if_running(int) {}
#endif

}  // namespace vlk
