// What the exchange tests share: one process's run settings with the tables and buffers the
// start-up makes, and readers of its counts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/edge_tables.h"
#include "exchange/exchange_work.h"
#include "settings/args.h"
#include "vlk_test.h"

namespace vlk_test {

using Ids = std::vector<unsigned short>;

// One process's run settings with its tables and buffers, made as the start-up makes them.
class Tables {
 public:
  Tables(int genes, int K, int rank, int P) : a_(Args_new_rank(rank, P)) {
    a_->nodes = genes;
    a_->module_size = K;
    vlk_test::CaptureErr quiet;
    edge_tables_alloc(a_);
    exchange_buffers_new(a_);
    startup_ = quiet.text();
  }
  ~Tables() {
    edge_tables_free(a_);
    exchange_buffers_delete(a_);
    Args_delete(a_);
  }
  Tables(const Tables&) = delete;
  Tables& operator=(const Tables&) = delete;
  Args* operator->() const { return a_; }
  Args* get() const { return a_; }
  GeneLayout layout() const { return Args_gene_layout(a_); }
  const std::string& startup() const { return startup_; }
  int forward(int v, int w) const {
    return a_->edge_counts[layout().forward(layout().local(v), w)];
  }
  int backward(int v, int w) const {
    return a_->edge_counts[layout().backward(layout().local(v), w)];
  }
  int pairs(int v, int w) const { return a_->pair_counts[layout().pair(layout().local(v), w)]; }
  long edge_total() const {
    return std::accumulate(a_->edge_counts, a_->edge_counts + layout().edge_cells(), 0L);
  }
  long pair_total() const {
    return std::accumulate(a_->pair_counts, a_->pair_counts + layout().pair_cells(), 0L);
  }

 private:
  Args* a_;
  std::string startup_;
};

// The lines of a captured stream against their patterns: a pattern matches its line exactly;
// one with '*' matches any text in its place (the clock of the progress lines).
inline void expect_lines(const std::string& text, const std::vector<std::string>& patterns) {
  std::vector<std::string> got;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) got.push_back(line);
  ASSERT_EQ(got.size(), patterns.size()) << text;
  for (size_t i = 0; i < got.size(); ++i) {
    const std::string& p = patterns[i];
    const size_t star = p.find('*');
    if (star == std::string::npos) {
      EXPECT_EQ(got[i], p) << "line " << i;
      continue;
    }
    const std::string head = p.substr(0, star), tail = p.substr(star + 1);
    EXPECT_TRUE(got[i].size() >= head.size() + tail.size() && got[i].starts_with(head) &&
                got[i].ends_with(tail))
        << "line " << i << ": " << got[i] << " does not match " << p;
  }
}

}  // namespace vlk_test
