#include "VLK_RNG.h"

#include <array>
#include <cstddef>
#include <cstdlib>
#include <utility>
#include <vector>

#include "VLK_Matrix.h"
#include "vlk_platform_rng.h"

namespace {

// Work areas hold generator states that want 16-byte alignment; whole cache lines cost nothing.
constexpr size_t kWorkAlign = 64;

double* new_work(std::int32_t len) {
  size_t bytes = static_cast<size_t>(len) * sizeof(double);
  bytes = (bytes + kWorkAlign - 1) / kWorkAlign * kWorkAlign;
  return static_cast<double*>(std::aligned_alloc(kWorkAlign, bytes));
}

void draw_uniform(VLK_RNG* rng, double* out, int n) {
  if (rng->source != nullptr) {
    rng->source(rng->source_context, out, n);
    return;
  }
  std::int32_t ierr = 0;
  platform_uniform(&rng->useed, out, n, rng->uwork, rng->uwork_len, &ierr);
}

// Draws of a few integers (the samplers take one at a time) use the stack.
constexpr int kStackScratch = 64;

}  // namespace

VLK_RNG* VLK_RNG_new() {
  auto* rng = static_cast<VLK_RNG*>(std::malloc(sizeof(VLK_RNG)));
  if (rng == nullptr) return nullptr;
  rng->useed = 1;
  rng->uwork_len = platform_uniform_work_length;
  rng->uwork = new_work(rng->uwork_len);
  rng->nseed = 1;
  rng->nwork_len = platform_normal_work_length;
  rng->nwork = new_work(rng->nwork_len);
  rng->source = nullptr;
  rng->source_context = nullptr;
  return rng;
}

void VLK_RNG_delete(VLK_RNG* rng) {
  if (rng == nullptr) return;
  std::free(rng->uwork);
  std::free(rng->nwork);
  std::free(rng);
}

void VLK_RNG_set_seed(VLK_RNG* rng, int s) {
  if (s == 0) s = 1;
  rng->useed = s;
  rng->nseed = s;
}

void VLK_RNG_uniform(VLK_RNG* rng, double* out, int n, double a, double b) {
  if (n <= 0) return;
  draw_uniform(rng, out, n);
  const double width = b - a;
  dscal_(&n, &width, out, &VLK_Matrix_INT_ONE);
  // Adding the one value a: a loop gives what daxpy with a zero source increment would, without
  // relying on optimised BLAS builds to handle that increment.
  for (int i = 0; i < n; ++i) out[i] += a;
}

void VLK_RNG_integer(VLK_RNG* rng, int* out, int n, int lo, int hi) {
  if (n <= 0) return;
  std::array<double, kStackScratch> small;
  std::vector<double> large;
  double* u = small.data();
  if (n > kStackScratch) {
    large.resize(static_cast<size_t>(n));
    u = large.data();
  }
  draw_uniform(rng, u, n);
  // The difference in 64 bits: hi - lo may leave the int range.
  const double width = static_cast<double>(static_cast<std::int64_t>(hi) - lo);
  dscal_(&n, &width, u, &VLK_Matrix_INT_ONE);
  for (int i = 0; i < n; ++i)
    out[i] = static_cast<int>(lo + static_cast<std::int64_t>(u[i]));  // truncation toward zero
}

void VLK_RNG_perm(VLK_RNG* rng, int* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = i;
  double factor = n;
  for (int k = n - 1; k >= 1; --k) {
    double u;
    draw_uniform(rng, &u, 1);
    const int j = static_cast<int>(factor * u);
    std::swap(out[k], out[j]);
    factor -= 1.0;
  }
}

void VLK_RNG_normal(VLK_RNG* rng, double* out, int n, double mean, double sd) {
  if (n <= 0) return;
  std::int32_t ierr = 0;
  platform_normal(mean, sd, &rng->nseed, out, n, rng->nwork, rng->nwork_len, &ierr);
}
