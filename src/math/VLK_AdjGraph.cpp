#include "VLK_AdjGraph.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "velkcom.h"
#include "vlk_fatal.h"

namespace {

const VLK_AdjGraph* checked(const GraphI* g) {
  if (g == nullptr || g->type != VLK_TYPE_ADJGRAPH)
    vlk::fatal("FATAL ERROR: VLK_AdjGraph: invalid type object received.\n");
  return static_cast<const VLK_AdjGraph*>(g);
}

VLK_AdjGraph* checked(GraphI* g) {
  return const_cast<VLK_AdjGraph*>(checked(static_cast<const GraphI*>(g)));
}

constexpr GraphI adjgraph_head{VLK_TYPE_ADJGRAPH,        VLK_AdjGraph_delete,
                               VLK_AdjGraph_clone,       nullptr,
                               VLK_AdjGraph_add_edge,    VLK_AdjGraph_check_edge,
                               VLK_AdjGraph_remove_edge, VLK_AdjGraph_print_name,
                               VLK_AdjGraph_print_name2, 0};

bool is_node(const VLK_AdjGraph* g, int i) { return i >= 0 && static_cast<size_t>(i) < g->n; }

size_t cell(const VLK_AdjGraph* g, int pa, int ch) {
  return static_cast<size_t>(ch) * g->n + static_cast<size_t>(pa);
}

// n * n bytes, all zero; null when n * n does not fit or cannot be had.
unsigned char* new_matrix(size_t n) {
  if (n != 0 && n > std::numeric_limits<size_t>::max() / n) return nullptr;
  return static_cast<unsigned char*>(std::calloc(n ? n * n : 1, 1));
}

// A new record with an n by n matrix, or null after the warning (printed at any level).
VLK_AdjGraph* make(size_t n) {
  VLK_AdjGraph* g = VLK_AdjGraph_new();
  if (g == nullptr) return nullptr;
  g->matrix = new_matrix(n);
  if (g->matrix == nullptr) {
    std::fprintf(VELK_ERR, "WARNING: VLK_AdjGraph_news(): failed to allocate memory.\n");
    std::free(g);
    return nullptr;
  }
  g->n = n;
  return g;
}

const char* name_of(const VLK_StrArray* names, size_t i) {
  return names != nullptr && i < names->size && names->data[i] != nullptr ? names->data[i] : "";
}

// Node i, then every j (ascending) for which has(i, j) holds.
template <class Has>
void print_lines(const VLK_AdjGraph* g, FILE* fp, const VLK_StrArray* names, Has has) {
  const int n = static_cast<int>(g->n);
  for (int i = 0; i < n; ++i) {
    std::fprintf(fp, "%s(%d) :", name_of(names, i), i);
    for (int j = 0; j < n; ++j)
      if (has(i, j)) std::fprintf(fp, " %s(%d)", name_of(names, j), j);
    std::fprintf(fp, "\n");
  }
}

}  // namespace

VLK_AdjGraph* VLK_AdjGraph_new() {
  auto* g = static_cast<VLK_AdjGraph*>(std::calloc(1, sizeof(VLK_AdjGraph)));
  if (g == nullptr) return nullptr;
  static_cast<GraphI&>(*g) = adjgraph_head;
  g->matrix = nullptr;
  return g;
}

VLK_AdjGraph* VLK_AdjGraph_news(size_t n) { return make(n); }

GraphI* VLK_AdjGraph_clone(const GraphI* g) {
  const VLK_AdjGraph* src = checked(g);
  VLK_AdjGraph* copy = make(src->n);
  if (copy != nullptr && src->matrix != nullptr)
    std::memcpy(copy->matrix, src->matrix, src->n * src->n);
  return copy;
}

void VLK_AdjGraph_delete(GraphI* g) {
  if (g == nullptr) return;
  VLK_AdjGraph* a = checked(g);
  std::free(a->matrix);
  std::free(a);
}

GraphI* VLK_AdjGraph_add_edge(GraphI* g, int pa, int ch) {
  VLK_AdjGraph* a = checked(g);
  if (is_node(a, pa) && is_node(a, ch)) a->matrix[cell(a, pa, ch)] = 1;
  return g;
}

GraphI* VLK_AdjGraph_remove_edge(GraphI* g, int pa, int ch) {
  VLK_AdjGraph* a = checked(g);
  if (is_node(a, pa) && is_node(a, ch)) a->matrix[cell(a, pa, ch)] = 0;
  return g;
}

int VLK_AdjGraph_check_edge(const GraphI* g, int pa, int ch) {
  const VLK_AdjGraph* a = checked(g);
  return is_node(a, pa) && is_node(a, ch) && a->matrix[cell(a, pa, ch)] != 0;
}

void VLK_AdjGraph_complete(VLK_AdjGraph* g) {
  if (g->matrix != nullptr) std::memset(g->matrix, 1, g->n * g->n);
}

void VLK_AdjGraph_print_name(const GraphI* g, FILE* fp, const VLK_StrArray* names) {
  const VLK_AdjGraph* a = checked(g);
  print_lines(a, fp, names, [a](int i, int j) { return a->matrix[cell(a, j, i)] != 0; });
}

void VLK_AdjGraph_print_name2(const GraphI* g, FILE* fp, const VLK_StrArray* names) {
  const VLK_AdjGraph* a = checked(g);
  print_lines(a, fp, names, [a](int i, int j) { return a->matrix[cell(a, i, j)] != 0; });
}

VLK_AdjGraph* VLK_AdjGraph_check_type(GraphI* g) { return checked(g); }
const VLK_AdjGraph* VLK_AdjGraph_check_type(const GraphI* g) { return checked(g); }

GraphI* VLK_AdjGraph_to_GraphI(VLK_AdjGraph* g) { return g; }
const GraphI* VLK_AdjGraph_to_GraphI(const VLK_AdjGraph* g) { return g; }
