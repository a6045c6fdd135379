// Where a gene's edge statistics live. Gene v belongs to process v mod P at local index
// v div P; each process keeps, for its own genes v and every w < v, the forward count
// (w -> v), the backward count (v -> w) and the pair count (nuclei holding both).
//
// Edge-count table: own rows of mrows cells, mrows = P (own - 1) + 2 r. Row l holds the
// forward counts of its gene l P + r in columns 0 .. v - 1 and, from the end of the row, the
// backward counts of the mirror gene (own - 1 - l) P + r; the two ranges fill the row exactly,
// so every ordered pair of an owned gene has one cell and no cell is spare.
// Pair-count table: own rows of n cells, row l column w.
//
// Everything is 64-bit: with one process and 65535 genes the edge table has 4.29e9 cells.
#pragma once

#include <cstddef>
#include <cstdint>

struct GeneLayout {
  std::int64_t n = 0;      // genes
  std::int64_t P = 1;      // processes
  std::int64_t r = 0;      // this process's rank
  std::int64_t own = 0;    // genes owned here (sub_nodes)
  std::int64_t mrows = 0;  // cells per edge-count row (0 when nothing is owned)

  static GeneLayout make(std::int64_t genes, std::int64_t processes, std::int64_t rank);

  static std::int64_t owner(std::int64_t v, std::int64_t P) { return v % P; }
  std::int64_t owner(std::int64_t v) const { return v % P; }
  std::int64_t local(std::int64_t v) const { return v / P; }  // v owned here
  std::int64_t gene(std::int64_t l) const { return l * P + r; }
  bool owns(std::int64_t v) const { return v % P == r; }

  // Cells of owned gene v (local index l) and a gene w < v.
  size_t forward(std::int64_t l, std::int64_t w) const {  // w -> v
    return static_cast<size_t>(l * mrows + w);
  }
  size_t backward(std::int64_t l, std::int64_t w) const {  // v -> w
    return static_cast<size_t>((own - 1 - l) * mrows + (mrows - 1 - w));
  }
  size_t pair(std::int64_t l, std::int64_t w) const { return static_cast<size_t>(l * n + w); }

  size_t edge_cells() const { return static_cast<size_t>(own * mrows); }
  size_t pair_cells() const { return static_cast<size_t>(own * n); }
};
