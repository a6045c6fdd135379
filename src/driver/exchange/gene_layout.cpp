#include "exchange/gene_layout.h"

GeneLayout GeneLayout::make(std::int64_t genes, std::int64_t processes, std::int64_t rank) {
  GeneLayout g;
  g.n = genes;
  g.P = processes;
  g.r = rank;
  g.own = genes / processes + (rank < genes % processes ? 1 : 0);
  // A process without genes keeps no rows; the formula would go negative for low ranks.
  g.mrows = g.own > 0 ? processes * (g.own - 1) + 2 * rank : 0;
  return g;
}
