// Collecting the frequent edges of this process's genes: one walk over the edge statistics,
// with the form of the gathering as a policy. A form says which directions of a pair it keeps,
// the values it sends per kept edge (its stride) and the precision of the comparison:
//
//   form                     stride  values                          kept when
//   FreqWidened (exchange)   1       f / pc                          float quotient >= double th
//   FreqSingle (2, 3)        1       f / pc                          f / pc >= th, all float
//   FreqCount (4)            2       f / pc, pc                      as FreqSingle
//   Majority (5)             3       (f + b) / pc, share, pc         (f + b) / pc >= th, one
//                                                                    direction: w -> v when
//                                                                    f > b, else v -> w
//   FreqDouble (collection)  -       -                               f / pc >= th in double
//
// f counts w -> v, b counts v -> w (w < v), pc the nuclei holding both; a pair whose pc is below
// the minimum pair count (compared as floats) has no frequency and is skipped by every form.
// The float/double difference is real: f = 7, pc = 10 at th = 0.7 is 0.69999999f, below the
// double 0.7 but equal to the float 0.7f.
#pragma once

#include <cstdio>

#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"
#include "exchange/edge_records.h"
#include "exchange/exchange_work.h"
#include "exchange/gene_layout.h"

namespace exchange {

// The verdict on one pair: which directions are kept and their values.
struct Kept {
  bool forward = false;   // w -> v
  bool backward = false;  // v -> w
  float fwd[3] = {};
  float bwd[3] = {};
};

inline float quotient(int count, int pc) {
  return static_cast<float>(count) / static_cast<float>(pc);
}

struct FreqWidened {
  static constexpr int stride = 1;
  double th;
  Kept keep(int f, int b, int pc) const {
    const float qf = quotient(f, pc), qb = quotient(b, pc);
    return {static_cast<double>(qf) >= th, static_cast<double>(qb) >= th, {qf}, {qb}};
  }
  static void print(FILE* fp, const char* lead, int v, int pa, int ch, const float* x) {
    std::fprintf(fp, "%s[%d] %d -> %d (%f)\n", lead, v, pa, ch, x[0]);
  }
};

struct FreqSingle {
  static constexpr int stride = 1;
  float th;
  Kept keep(int f, int b, int pc) const {
    const float qf = quotient(f, pc), qb = quotient(b, pc);
    return {qf >= th, qb >= th, {qf}, {qb}};
  }
  static void print(FILE* fp, const char* lead, int v, int pa, int ch, const float* x) {
    FreqWidened::print(fp, lead, v, pa, ch, x);
  }
};

struct FreqCount {
  static constexpr int stride = 2;
  float th;
  Kept keep(int f, int b, int pc) const {
    const float qf = quotient(f, pc), qb = quotient(b, pc), n = static_cast<float>(pc);
    return {qf >= th, qb >= th, {qf, n}, {qb, n}};
  }
  static void print(FILE* fp, const char* lead, int v, int pa, int ch, const float* x) {
    std::fprintf(fp, "%s[%d] %d -> %d (%f, %d)\n", lead, v, pa, ch, x[0], static_cast<int>(x[1]));
  }
};

struct Majority {
  static constexpr int stride = 3;
  float th;
  Kept keep(int f, int b, int pc) const {
    Kept k;
    // No observed edge has no direction (and no share: 0 / 0), whatever the threshold.
    if (f + b == 0) return k;
    const float u = quotient(f + b, pc);
    if (!(u >= th)) return k;
    const double total = static_cast<double>(f) + b;
    const float n = static_cast<float>(pc);
    if (f > b) {
      k.forward = true;
      k.fwd[0] = u, k.fwd[1] = static_cast<float>(f / total), k.fwd[2] = n;
    } else {
      k.backward = true;
      k.bwd[0] = u, k.bwd[1] = static_cast<float>(b / total), k.bwd[2] = n;
    }
    return k;
  }
  static void print(FILE* fp, const char* lead, int v, int pa, int ch, const float* x) {
    std::fprintf(fp, "%s[%d] %d -> %d (%f, %f, %d)\n", lead, v, pa, ch, x[0], x[1],
                 static_cast<int>(x[2]));
  }
};

struct FreqDouble {
  float th;
  Kept keep(int f, int b, int pc) const {
    const double qf = static_cast<double>(f) / pc, qb = static_cast<double>(b) / pc;
    return {qf >= th, qb >= th, {}, {}};
  }
};

// Calls visit(v, w, kept) for every pair w < v of the genes owned here (v in local order, w
// ascending) whose pair count reaches min_pc and of which the form keeps a direction.
template <class Form, class Visit>
void for_each_kept(const GeneLayout& layout, const int* E, const int* PP, int min_pc,
                   const Form& form, Visit&& visit) {
  const float min = static_cast<float>(min_pc);
  for (std::int64_t l = 0; l < layout.own; ++l) {
    const int v = static_cast<int>(layout.gene(l));
    const int* pairs = PP + layout.pair(l, 0);
    for (int w = 0; w < v; ++w) {
      const int pc = pairs[w];
      if (static_cast<float>(pc) < min) continue;
      const Kept k = form.keep(E[layout.forward(l, w)], E[layout.backward(l, w)], pc);
      if (k.forward || k.backward) visit(v, w, k);
    }
  }
}

// The record stream and values (Form::stride per id) of this process's kept edges: per gene
// with kept edges one record, parents w -> v then children v -> w, each ascending in w. The
// children are staged in `work` (never in a live buffer). With `trace`, prints every kept
// edge. Returns the number of values.
template <class Form>
size_t collect_network(const GeneLayout& layout, const int* E, const int* PP, int min_pc,
                       const Form& form, VLK_UShortArray* ids, VLK_FloatArray* values,
                       ExchangeWork& work, FILE* trace) {
  constexpr const char* what = "collecting edges: send buffer";
  constexpr int S = Form::stride;
  VLK_UShortArray_clear(ids);
  VLK_FloatArray_clear(values);
  EdgeRecordWriter rec(ids, what);
  int current = -1;
  auto close_gene = [&] {
    if (current < 0) return;
    rec.children();
    for (unsigned short w : work.child_ids) rec.add(w);
    for (float x : work.child_values) need(VLK_FloatArray_add(values, x), what);
    rec.end();
  };
  for_each_kept(layout, E, PP, min_pc, form, [&](int v, int w, const Kept& k) {
    if (v != current) {
      close_gene();
      current = v;
      rec.begin(static_cast<unsigned short>(v));
      work.child_ids.clear();
      work.child_values.clear();
    }
    if (k.forward) {
      rec.add(static_cast<unsigned short>(w));
      for (int i = 0; i < S; ++i) need(VLK_FloatArray_add(values, k.fwd[i]), what);
      if (trace) Form::print(trace, "", v, w, v, k.fwd);
    }
    if (k.backward) {
      work.child_ids.push_back(static_cast<unsigned short>(w));
      work.child_values.insert(work.child_values.end(), k.bwd, k.bwd + S);
      if (trace) Form::print(trace, "", v, v, w, k.bwd);
    }
  });
  close_gene();
  return values->size;
}

// Adds the edges of a record stream to g in stream order: per record the parent edges u -> v,
// then the child edges v -> u. on_record(rec) sees every record, on_edge(k, v, pa, ch) every
// edge with its number k among those added here. Returns the number of edges added.
template <class OnRecord, class OnEdge>
size_t add_stream_edges(const unsigned short* ids, size_t count, VLK_PCGraph* g,
                        OnRecord&& on_record, OnEdge&& on_edge) {
  EdgeRecordReader records(ids, count);
  VLK_EdgeRecord rec;
  size_t k = 0;
  while (records.next(&rec)) {
    on_record(rec);
    for (int i = 0; i < rec.num_pa; ++i) {
      VLK_PCGraph_add_edge(g, rec.parents[i], rec.v);
      on_edge(k++, rec.v, rec.parents[i], rec.v);
    }
    for (int i = 0; i < rec.num_ch; ++i) {
      VLK_PCGraph_add_edge(g, rec.v, rec.children[i]);
      on_edge(k++, rec.v, rec.v, rec.children[i]);
    }
  }
  return k;
}

}  // namespace exchange
