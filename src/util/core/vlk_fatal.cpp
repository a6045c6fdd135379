#include "vlk_fatal.h"

#include <cstdio>
#include <cstdlib>

#include "velkcom.h"

namespace vlk {

void vdie(End how, const char* fmt, va_list ap) {
  FILE* out = VELK_ERR ? VELK_ERR : stderr;
  std::vfprintf(out, fmt, ap);
  std::fflush(out);
  switch (how) {
    case End::abort:
      std::abort();
    case End::exit1:
    case End::mpi_abort:
      break;
  }
  // One process leaving alone would leave the others waiting in their next collective call.
  mpi_abort_if_running(1);
  std::exit(1);
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

void fatal_mpi(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vdie(End::mpi_abort, fmt, ap);
}

#ifndef USE_MPI
void mpi_abort_if_running(int) {}
#endif

}  // namespace vlk
