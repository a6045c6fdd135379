#include "vlk_fatal.h"

#include <cstdio>
#include <cstdlib>

#include "velkcom.h"

namespace vlk {

void run_before_leaving();
void run_undo();

namespace {

// The innermost scopes; the endings run on the main thread of a process at start-up, where
// these are set.
EveryProcessAlike* alike_scope = nullptr;
UndoOnFatal* undo_list = nullptr;

void print_to(FILE* out, const char* fmt, va_list ap) {
  std::vfprintf(out, fmt, ap);
  std::fflush(out);
}

// How a line is printed: `tag`, when given, goes before the copy on the terminal.
using Printer = void (*)(const char* tag, const char* fmt, va_list ap);

// The line on VELK_ERR, and on standard error too when VELK_ERR is not standard error: with a
// log file (or /dev/null on the other processes) it would reach nobody watching the terminal.
void to_stream_and_terminal(const char* tag, const char* fmt, va_list ap) {
  FILE* out = VELK_ERR != nullptr ? VELK_ERR : stderr;
  va_list again;
  va_copy(again, ap);
  if (out != stderr) print_to(out, fmt, ap);
  if (tag != nullptr) std::fputs(tag, stderr);
  print_to(stderr, fmt, again);
  va_end(again);
}

void to_terminal(const char* tag, const char* fmt, va_list ap) {
  if (tag != nullptr) std::fputs(tag, stderr);
  print_to(stderr, fmt, ap);
}

// "process 2: " before a line that one process of several prints alone.
const char* process_tag(const MpiPlace& place, char (&buf)[48]) {
  if (!place.running || place.processes < 2) return nullptr;
  std::snprintf(buf, sizeof buf, "process %d: ", place.rank);
  return buf;
}

[[noreturn]] void end_one_process(Printer print, const char* fmt, va_list ap) {
  const MpiPlace place = mpi_place();
  char buf[48];
  print(process_tag(place, buf), fmt, ap);
  run_undo();
  mpi_abort_if_running(1);
  std::exit(1);
}

// A line every process prints alike: on the terminal once, by process 0; the others' logs of
// their own keep it too.
void print_once(Printer print, const char* fmt, va_list ap) {
  const MpiPlace place = mpi_place();
  if (!place.running || place.rank == 0)
    print(nullptr, fmt, ap);
  else if (print == to_stream_and_terminal && VELK_ERR != nullptr && VELK_ERR != stderr)
    print_to(VELK_ERR, fmt, ap);
}

[[noreturn]] void end_every_process(Printer print, const char* fmt, va_list ap) {
  const MpiPlace place = mpi_place();
  va_list again;
  va_copy(again, ap);
  print_once(print, fmt, ap);
  run_before_leaving();
  run_undo();
  if (!place.running || mpi_leave_together()) std::exit(1);
  // Some process did not meet the error and would wait for this one forever: the run ends
  // as for an error of one process.
  char buf[48];
  if (place.rank != 0) to_terminal(process_tag(place, buf), fmt, again);
  va_end(again);
  mpi_abort_if_running(1);
  std::exit(1);
}

[[noreturn]] void end(Reach reach, Printer print, const char* fmt, va_list ap) {
  if (reach == Reach::every_process) end_every_process(print, fmt, ap);
  end_one_process(print, fmt, ap);
}

}  // namespace

EveryProcessAlike::EveryProcessAlike(void (*before_leaving)())
    : outer_(alike_scope), before_leaving_(before_leaving) {
  alike_scope = this;
}

EveryProcessAlike::~EveryProcessAlike() { alike_scope = outer_; }

Reach current_reach() { return alike_scope != nullptr ? Reach::every_process : Reach::one_process; }

void run_before_leaving() {
  if (alike_scope == nullptr || alike_scope->before_leaving_ == nullptr) return;
  void (*step)() = alike_scope->before_leaving_;
  alike_scope->before_leaving_ = nullptr;  // an error inside the step must not run it again
  step();
}

UndoOnFatal::UndoOnFatal(void (*undo)(void*), void* arg)
    : outer_(undo_list), undo_(undo), arg_(arg) {
  undo_list = this;
}

UndoOnFatal::~UndoOnFatal() {
  // Normally the innermost; a list unwound out of order still drops exactly this entry.
  for (UndoOnFatal** p = &undo_list; *p != nullptr; p = &(*p)->outer_)
    if (*p == this) {
      *p = outer_;
      return;
    }
}

void run_undo() {
  // Taken off the list first, so that an error inside one runs the rest, not itself again.
  while (undo_list != nullptr) {
    UndoOnFatal* u = undo_list;
    undo_list = u->outer_;
    u->undo_(u->arg_);
  }
}

void vdie(End how, Reach reach, const char* fmt, va_list ap) {
  if (how == End::abort) {
    to_stream_and_terminal(nullptr, fmt, ap);
    std::abort();
  }
  end(reach, to_stream_and_terminal, fmt, ap);
}

void report(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  if (current_reach() == Reach::every_process)
    print_once(to_stream_and_terminal, fmt, ap);
  else
    to_stream_and_terminal(nullptr, fmt, ap);
  va_end(ap);
}

void fatal(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vdie(End::exit1, current_reach(), fmt, ap);
}

void fatal_one_process(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vdie(End::exit1, Reach::one_process, fmt, ap);
}

void fatal_every_process(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vdie(End::exit1, Reach::every_process, fmt, ap);
}

void fatal_abort(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vdie(End::abort, Reach::one_process, fmt, ap);
}

void fatal_stderr(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  end(current_reach(), to_terminal, fmt, ap);
}

#ifndef USE_MPI
MpiPlace mpi_place() { return {false, 0, 1}; }
void mpi_abort_if_running(int) {}
void mpi_endings_init() {}
bool mpi_leave_together() { return true; }
#endif

}  // namespace vlk
