#include "VLK_AlgoArgs.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "VLK_ArgDef.h"
#include "velkcom.h"
#include "vlk_fatal.h"

const char* const VLK_Greedy_timer_labels[] = {
    "Greedy Preparation",
    "Greedy OTO single",
    "Greedy OTO parallel",
    "Greedy HC single",
    "Greedy HC parallel",
    "Greedy HC single2",
    nullptr,
};

VLK_AlgoArgs* VLK_AlgoArgs_new() {
  auto* a = static_cast<VLK_AlgoArgs*>(std::calloc(1, sizeof(VLK_AlgoArgs)));
  if (a == nullptr) return nullptr;
  a->candidates = 10;
  a->max_parents = 10;
  return a;
}

void VLK_AlgoArgs_delete(VLK_AlgoArgs* a) {
  if (a == nullptr) return;
  if (a->excluded != nullptr) VLK_Graph_delete(a->excluded);
  if (a->data != nullptr) VLK_Data_delete(a->data);
  std::free(a->score);  // the module state belongs to whoever initialised it
  if (a->options != nullptr) VLK_KeyValues_delete(a->options);
  if (a->results != nullptr) VLK_KeyValues_delete(a->results);
  std::free(a);
}

VLK_GreedyTable VLK_GreedyArgs_table(VLK_GreedyArgs* g) {
  return {
      vlk::arg_int("trials", &g->trials),
      vlk::arg_int("t", &g->trials),
      vlk::arg_int("max_loops", &g->max_loops),
      vlk::arg_flag_on("fast", &g->fast),
      vlk::arg_string("skeleton", &g->skeleton),
      vlk::arg_string("skel", &g->skeleton),
      vlk::arg_flag_on("dag", &g->dag),
      vlk::arg_double("dag_th", &g->dag_th),
      vlk::arg_string("parent", &g->parent),
      vlk::arg_onoff("rev", &g->rev),
      vlk::arg_int("v", &g->v),
      vlk::arg_end(),
  };
}

namespace {

using GreedyTable = VLK_GreedyTable;

// A string row does not free what it overwrites, so a field named twice ("skeleton", then
// "skel") would lose the first copy: release it before the entry that replaces it.
void release_string_target(const GreedyTable& table, const char* key) {
  for (const VLK_ArgDef& row : table) {
    if (row.name == nullptr) return;
    if (std::strcmp(row.name, key) != 0) continue;
    if (row.kind == VLK_TYPE_STRING) {
      char** target = static_cast<char**>(row.target);
      std::free(*target);
      *target = nullptr;
    }
    return;
  }
}

// Binds the entries one at a time through a one-entry view of the list, which keeps the
// binding's order and return codes: -1 when all are bound, else the code of the failing
// entry as the whole-list binding would give it.
int bind_entries(const VLK_KeyValues* list, const GreedyTable& table) {
  const size_t n = VLK_KeyValues_size(list);
  for (size_t i = 0; i < n; ++i) {
    VLK_StrArray key{list->keys->data + i, 1, 1};
    VLK_Array value{list->values->data + i, 1, 1};
    VLK_IntArray type{list->types->data + i, 1, 1};
    const VLK_KeyValues one{&key, &value, &type};
    release_string_target(table, key.data[0]);
    const int r = VLK_KeyValues_set_values_kv(&one, table.data());
    if (r == 0) return static_cast<int>(i);
    if (r <= -2) return -static_cast<int>(i) - 2;
  }
  return -1;
}

}  // namespace

VLK_GreedyArgs* VLK_GreedyArgs_parse(const VLK_KeyValues* options) {
  auto* g = static_cast<VLK_GreedyArgs*>(std::calloc(1, sizeof(VLK_GreedyArgs)));
  if (g == nullptr) return nullptr;
  g->trials = 10;
  g->max_loops = 100;
  g->rev = 1;
  g->prob_key = strdup("BS Prob");
  g->dag_th = 0.3;
  g->v = -99;
  if (options == nullptr) return g;
  const GreedyTable table = VLK_GreedyArgs_table(g);
  const int r = bind_entries(options, table);
  if (r != -1) {
    vlk::fatal("ERROR: Greedy: unknown argument specified: %s\n",
               VLK_KeyValues_get_key(options, vlk::failed_entry(r)));
  }
  return g;
}

void VLK_GreedyArgs_delete(VLK_GreedyArgs* g) {
  if (g == nullptr) return;
  std::free(g->skeleton);
  std::free(g->prob_key);
  std::free(g->parent);
  std::free(g);
}

VLK_GreedyArgs* VLK_Greedy_init(const VLK_AlgoArgs* a) { return VLK_GreedyArgs_parse(a->options); }

void VLK_Greedy_prepare_timer(VLK_AlgoArgs* a) {
  if (a->timer == nullptr) a->timer = VLK_MultiTimer_new_labels(VLK_Greedy_timer_labels);
}
