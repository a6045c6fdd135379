// The parts of exchange_graph that do not communicate.
#include "exchange/graph_exchange.h"

#include <algorithm>

#include "exchange/exchange_work.h"
#include "vlk_check.h"

int ex_t_cmp(const void* a, const void* b) {
  const auto& x = *static_cast<const ex_t*>(a);
  const auto& y = *static_cast<const ex_t*>(b);
  if (x.owner != y.owner) return x.owner < y.owner ? -1 : 1;
  return (x.node > y.node) - (x.node < y.node);
}

namespace exchange {

void build_edge_records(VLK_Graph* const* graphs, VLK_SelectedNodes sel, int P,
                        VLK_IntArray* children, ex_t* entries, VLK_UShortArray* streams,
                        FILE* trace) {
  const int K = sel.K;
  for (int j = 0; j < sel.rows; ++j) {
    if (sel.dummy(j)) continue;
    const VLK_Graph* g = graphs[j];
    vlk::check(g != nullptr && g->n == static_cast<size_t>(K), "a real nucleus has a graph of K");
    const unsigned short* row = sel.row(j);
    VLK_Graph_set_children_all(g, children);
    for (int i = 0; i < K; ++i) entries[i] = ex_t{row[i], row[i] % P, i};
    std::sort(entries, entries + K,
              [](const ex_t& a, const ex_t& b) { return ex_t_cmp(&a, &b) < 0; });
    if (trace) {
      std::fprintf(trace, "Cyclic nodes:");
      for (int i = 0; i < K; ++i) std::fprintf(trace, " %d-%d", entries[i].node, entries[i].owner);
      std::fprintf(trace, "\n");
    }
    for (int i = 0; i < K; ++i) {
      const ex_t& e = entries[i];
      const unsigned short v = e.node;
      VLK_UShortArray* stream = &streams[e.owner];
      EdgeRecordWriter w(stream, "exchange_graph(): record stream");
      w.begin(v);
      const VLK_IntArray* pa = VLK_Graph_parents(g, e.index);
      for (size_t k = 0; k < pa->size; ++k)
        if (row[pa->data[k]] < v) w.add(row[pa->data[k]]);
      w.children();
      const VLK_IntArray& ch = children[e.index];
      for (size_t k = 0; k < ch.size; ++k)
        if (row[ch.data[k]] < v) w.add(row[ch.data[k]]);
      if (w.end() != 0 && trace)
        std::fprintf(trace, "rank=%d <- += 3 + pa=%d + ch=%d  (j=%d) counts[rank=%d]=%d\n", e.owner,
                     w.num_pa(), w.num_ch(), v, e.owner, static_cast<int>(stream->size));
    }
  }
}

void accumulate_edge_records(const unsigned short* ids, const int* counts, const int* displs,
                             int senders, const GeneLayout& layout, int* E, FILE* trace) {
  if (trace) std::fprintf(trace, "recv :\n");
  for (int k = 0; k < senders; ++k) {
    if (trace) std::fprintf(trace, "PROC %d (%d): ", k, counts[k]);
    EdgeRecordReader records(ids + displs[k], static_cast<size_t>(counts[k]));
    VLK_EdgeRecord rec;
    while (records.next(&rec)) {
      vlk::check(layout.owns(rec.v) && rec.v < layout.n, "a record of a gene owned here");
      const std::int64_t l = layout.local(rec.v);
      if (trace) std::fprintf(trace, " [v:%d] (pa:%d)", rec.v, rec.num_pa);
      for (int i = 0; i < rec.num_pa; ++i) {
        vlk::check(rec.parents[i] < rec.v, "a parent id below the record's gene");
        const int c = ++E[layout.forward(l, rec.parents[i])];
        if (trace) std::fprintf(trace, " %d<%d>", rec.parents[i], c);
      }
      if (trace) std::fprintf(trace, " (ch:%d)", rec.num_ch);
      for (int i = 0; i < rec.num_ch; ++i) {
        vlk::check(rec.children[i] < rec.v, "a child id below the record's gene");
        const int c = ++E[layout.backward(l, rec.children[i])];
        if (trace) std::fprintf(trace, " %d<%d>", rec.children[i], c);
      }
    }
    if (trace) std::fprintf(trace, "\n");
  }
}

void count_pairs(VLK_SelectedNodes rows, int N, const GeneLayout& layout, int* PP,
                 ExchangeWork& work, FILE* trace) {
  const int K = rows.K;
  if (trace) {
    for (int t = 0; t < rows.rows; ++t) {
      std::fprintf(trace, "[n=%d] sel proc %d:", t % N, t / N);
      for (int a = 0; a < K; ++a) std::fprintf(trace, " %d", rows.row(t)[a]);
      std::fprintf(trace, "\n");
    }
  }
  // Every (row, position) whose gene is owned here, grouped by the gene's local index (a
  // counting sort), so that each pair-count row is updated while it sits in cache: a row
  // has n cells and takes the prefixes of all the nuclei its gene was in.
  std::vector<int>& start = work.pair_starts;
  std::vector<int>& items = work.pair_items;
  resize(start, static_cast<size_t>(layout.own) + 1, "exchange_graph(): pair groups");
  std::fill(start.begin(), start.end(), 0);
  for (int t = 0; t < rows.rows; ++t) {
    const unsigned short* s = rows.row(t);
    if (s[0] == kNoGene) continue;
    for (int a = 1; a < K; ++a)
      if (layout.owns(s[a])) ++start[static_cast<size_t>(layout.local(s[a])) + 1];
  }
  for (size_t l = 1; l < start.size(); ++l) start[l] += start[l - 1];
  resize(items, static_cast<size_t>(start.back()), "exchange_graph(): pair groups");
  std::vector<int>& next = work.pair_fill;
  resize(next, start.size(), "exchange_graph(): pair groups");
  std::copy(start.begin(), start.end(), next.begin());
  for (int t = 0; t < rows.rows; ++t) {
    const unsigned short* s = rows.row(t);
    if (s[0] == kNoGene) continue;
    for (int a = 1; a < K; ++a)
      if (layout.owns(s[a])) items[next[layout.local(s[a])]++] = t * K + a;  // fits: P N K does
  }

  for (std::int64_t l = 0; l < layout.own; ++l) {
    int* row = PP + layout.pair(l, 0);
    for (int i = start[l]; i < start[l + 1]; ++i) {
      const int a = items[i] % K;
      const unsigned short* s = rows.ids + (items[i] - a);
      vlk::check(s[a] < layout.n && s[a - 1] <= s[a], "a row of genes in ascending order");
      if (trace) {
        const int t = items[i] / K;
        for (int b = 0; b < a; ++b)
          std::fprintf(trace, " (%d,%d,%d,%d,%d)", t / N, t % N, s[a], s[b], ++row[s[b]]);
      } else {
        for (int b = 0; b < a; ++b) ++row[s[b]];
      }
    }
  }
  if (trace) std::fprintf(trace, "\n");
}

}  // namespace exchange
