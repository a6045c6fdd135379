#include "output/output_nuc.h"

#include <string>

#include "exchange/edge_tables.h"
#include "velkcom.h"

void output_nuc(const Args* args) {
  FILE* fp = VELK_ERR;
  if (args->output_prefix != nullptr) {
    char rank[16];
    std::snprintf(rank, sizeof rank, "%05d", args->rank);
    const std::string name = std::string(args->output_prefix) + ".nuc." + rank;
    fp = std::fopen(name.c_str(), "w");
    if (fp == nullptr) {
      std::fprintf(VELK_ERR, "WARNING: cannot open output file: %s\n", name.c_str());
      std::fprintf(VELK_ERR, "  Going to output into the error output.\n");
      fp = VELK_ERR;
    }
  }
  const GeneLayout layout = Args_gene_layout(args);
  const int* E = args->edge_counts;
  const int* PP = args->pair_counts;
  for (std::int64_t l = 0; l < layout.own; ++l) {
    const std::int64_t v = layout.gene(l);
    std::fprintf(fp, "%d", static_cast<int>(v));
    for (std::int64_t w = 0; w < v; ++w) {
      const int pc = PP[layout.pair(l, w)];
      if (pc >= 1)
        std::fprintf(fp, "\t%d\t%d\t%d\t%d", static_cast<int>(w), E[layout.forward(l, w)],
                     E[layout.backward(l, w)], pc);
    }
    std::fprintf(fp, "\n");
  }
  if (fp != VELK_ERR) std::fclose(fp);
}
