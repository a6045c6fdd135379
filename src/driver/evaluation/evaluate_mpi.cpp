// The collective steps of the evaluation: the reduction of the distributed counts and the DAG
// evaluation at process 0 between the gathering and a barrier.
#include <mpi.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "evaluation/evaluate.h"
#include "exchange/exchange_mpi.h"
#include "exchange/exchange_work.h"
#include "exchange/network_gathering.h"
#include "method/main_helpers.h"
#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

using vlk::eval::Confusion;

// The network of the smallest cutoff gathered at process 0, its reports there, then every
// process meets the others.
void dag_evaluation(Args* a, int iteration, bool with_counts) {
  send_network3(a, vlk::eval::smallest_cutoff(a->cutoffs));
  put_current_time("Starting DAG evaluation");
  if (a->rank == 0) vlk::eval::dag_reports(a, iteration, with_counts);
  MPI_Barrier(MPI_COMM_WORLD);
}

}  // namespace

void compare_nuclei(Args* a, int iteration, VLK_DoubleArray* cutoffs) {
  put_current_time("compare_nuclei() called");
  if (a->reference == nullptr)
    vlk::fatal("ERROR: Cannot open compare file: %s\n",
               a->reference_file ? a->reference_file : "(null)");
  const size_t ncut = cutoffs->size;
  std::vector<Confusion> local(ncut), sums(ncut);
  vlk::eval::count_own_pairs(a, cutoffs, local.data());
  if (a->debug) {
    std::fprintf(VELK_ERR, "LOCAL COMPARISON RESULT(S)\n");
    for (size_t k = 0; k < ncut; ++k) {
      const Confusion& c = local[k];
      std::fprintf(VELK_ERR, "ITER\tCUTOFF\tTP\tRTP\tFP\tFN\tTN\n");
      std::fprintf(VELK_ERR,
                   "%d\t%0.3f\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\n",
                   iteration, cutoffs->data[k], c.tp, c.rtp, c.fp, c.fn, c.tn);
    }
  }
  put_current_time("  Finished the collection. Sending results");
  // Five 64-bit counts per cutoff, in the record's order.
  static_assert(sizeof(Confusion) == 5 * sizeof(std::int64_t));
  const int values = exchange::mpi_count(5 * ncut, "comparison counts");
  exchange::timed(a, [&] {
    MPI_Reduce(local.data(), sums.data(), values, MPI_INT64_T, MPI_SUM, 0, MPI_COMM_WORLD);
  });
  if (a->rank == 0) vlk::eval::print_nuclei_report(VELK_ERR, iteration, cutoffs, sums.data());
  put_current_time("compare_nuclei() finished");
}

void evaluate(Args* a, int iteration, int* next) {
  if (a->cutoffs == nullptr || a->cutoffs->size == 0) return;
  if (iteration >= *next) {
    dag_evaluation(a, iteration, true);
    put_current_time("Finished to evaluate");
    *next = vlk::eval::next_dag_evaluation(iteration, *next, a->dag_interval);
    a->last_dag_eval = iteration;
  } else {
    compare_nuclei(a, iteration, a->cutoffs);
  }
  a->last_eval = iteration;
}

void final_evaluation(Args* a) {
  const int final_count = a->iterations;
  const bool have_cutoffs = a->cutoffs != nullptr && a->cutoffs->size != 0;
  if (have_cutoffs && a->last_dag_eval != final_count) {
    dag_evaluation(a, final_count, a->last_eval != final_count);
  } else if (a->last_eval != final_count) {
    std::fprintf(VELK_ERR, "WARNING: Skipped: compare_nuclei()\n");
  }
}
