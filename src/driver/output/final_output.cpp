#include "output/final_output.h"

#include <chrono>
#include <cstdio>

#include "exchange/network_gathering.h"
#include "output/output_network.h"
#include "output/prefix_lock.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

int write_final_network(Args* a) {
  if (!a->write_output) return 0;
  std::fprintf(VELK_ERR, "Outputting the final network.\n");
  std::fflush(VELK_ERR);
  std::fprintf(VELK_ERR, "  Collecting and Extracting the final graph with th=%f\n",
               a->output_threshold);
  const float th = static_cast<float>(a->output_threshold);
  if (a->output_mode == 0) {
    send_network4(a, th);
  } else if (a->output_mode == 1) {
    send_network5(a, th);
  } else {
    vlk::fatal("ERROR: Unknown output mode: %d\n", a->output_mode);
  }
  if (a->rank != 0) return 0;
  std::fprintf(VELK_ERR, "  Going to output into a file.\n");
  // The gathering has charged its transfers to the communication time and the root's rebuild
  // to the single-part time already: only the writing is added here.
  const auto start = std::chrono::steady_clock::now();
  VLK_MultiTimer_start(a->timer, 5);
  auto write = a->output_mode == 0 ? output_network4 : output_network5;
  const int failed = write(a->output_prefix, a->output_format, a->output_args, a->whole_data,
                           a->gathered_network, a->gathered_values);
  VLK_MultiTimer_stop(a->timer);
  a->single_time += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return failed != 0 ? 1 : 0;
}

}  // namespace

int final_output(Args* a) {
  const int status = write_final_network(a);
  // The result is in place: another run may take the prefix (under --log 0 once the log closes).
  if (a->prefix_lock != nullptr) a->prefix_lock->release();
  return status;
}
