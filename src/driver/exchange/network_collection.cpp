// The collection-only form of the gathering: its pairs are never sent anywhere.
#include <cstdlib>

#include "exchange/edge_tables.h"
#include "exchange/network_forms.h"
#include "exchange/network_gathering.h"
#include "velkcom.h"

void send_network(Args* a, float th) {
  using namespace exchange;
  VLK_UShortArray* pairs = a->send_records;
  VLK_UShortArray_clear(pairs);
  std::fprintf(VELK_ERR, "Collecting significant edges\n");
  std::fflush(VELK_ERR);
  constexpr const char* what = "send_network(): edge pairs";
  auto add_pair = [&](int pa, int ch) {
    need(VLK_UShortArray_add(pairs, static_cast<unsigned short>(pa)), what);
    need(VLK_UShortArray_add(pairs, static_cast<unsigned short>(ch)), what);
  };
  for_each_kept(Args_gene_layout(a), a->edge_counts, a->pair_counts, a->min_pair_count,
                FreqDouble{th}, [&](int v, int w, const Kept& k) {
                  if (k.forward) add_pair(w, v);
                  if (k.backward) add_pair(v, w);
                });
  std::fprintf(VELK_ERR, "  Collected %zu edges\n", pairs->size / 2);
  std::fflush(VELK_ERR);
  std::abort();
}
