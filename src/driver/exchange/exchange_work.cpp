// The guards every exchange shares on its MPI counts.
#include "exchange/exchange_work.h"

#include <climits>

namespace exchange {

int mpi_count(size_t n, const char* what) {
  if (n > static_cast<size_t>(INT_MAX))
    vlk::fatal("ERROR: %s: %zu elements exceed the largest MPI count (%d).\n", what, n, INT_MAX);
  return static_cast<int>(n);
}

int prefix_sums(const int* counts, int* displs, int n, const char* what) {
  size_t total = 0;
  for (int k = 0; k < n; ++k) {
    displs[k] = mpi_count(total, what);
    total += static_cast<size_t>(counts[k]);
  }
  return mpi_count(total, what);
}

}  // namespace exchange
