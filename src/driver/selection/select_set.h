// What the samplers of node selection share: the selection with constant-time membership, and the
// pick of an index by cumulative weights.
#pragma once

#include <algorithm>
#include <bitset>
#include <cmath>
#include <vector>

namespace vlk::select {

// The ids sel[0 .. count-1] of a selection. Ids are 16-bit, so a bitmap answers membership in
// constant time where a scan of the selection would cost its length.
class Selection {
 public:
  Selection(unsigned short* sel, int count) : sel_(sel), count_(count) {
    for (int i = 0; i < count; ++i) taken_.set(sel[i]);
  }
  int count() const { return count_; }
  bool has(int v) const { return taken_.test(static_cast<size_t>(v)); }
  // Appends v unless it is present; true when it was appended.
  bool add_new(int v) {
    if (has(v)) return false;
    sel_[count_++] = static_cast<unsigned short>(v);
    taken_.set(static_cast<size_t>(v));
    return true;
  }
  // Puts v into the last position (count >= 1) in place of the id there.
  void replace_last(int v) {
    const unsigned short old = sel_[count_ - 1];
    sel_[count_ - 1] = static_cast<unsigned short>(v);
    if (std::find(sel_, sel_ + count_ - 1, old) == sel_ + count_ - 1) taken_.reset(old);
    taken_.set(static_cast<size_t>(v));
  }

 private:
  unsigned short* sel_;
  int count_;
  std::bitset<65536> taken_;
};

// The pick "first index whose running sum of weights exceeds u", running sums in double and in
// index order, answered by binary search over the running maximum of the sums (a NaN sum raises
// nothing, so an index is found exactly when the scan would find it).
class CumulativePick {
 public:
  template <class Weight>
  CumulativePick(int n, Weight weight) : reach_(n > 0 ? static_cast<size_t>(n) : 0) {
    double sum = 0.0, reach = -HUGE_VAL;
    for (int j = 0; j < n; ++j) {
      const double w = weight(j);
      sum += w;
      if (sum > reach) reach = sum;
      reach_[static_cast<size_t>(j)] = reach;
      if (w > 0.0) last_positive_ = j;
    }
    total_ = sum;
  }
  // The sum of all weights (NaN when any weight is not a number).
  double total() const { return total_; }
  // The index for u; when u is not below the total (only rounding puts it there), the last index of
  // positive weight, so no rounding can pick past the end. -1 when the total is not a positive
  // number.
  int pick(double u) const {
    const auto it = std::upper_bound(reach_.begin(), reach_.end(), u);
    if (it != reach_.end()) return static_cast<int>(it - reach_.begin());
    return std::isfinite(total_) && total_ > 0.0 ? last_positive_ : -1;
  }

 private:
  std::vector<double> reach_;
  double total_ = 0.0;
  int last_positive_ = -1;
};

}  // namespace vlk::select
