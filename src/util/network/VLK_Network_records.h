// The sort records of the network's analysis and layouts, and their qsort comparators.
#pragma once

#include <cstdint>

// Hub record: a node with its numbers of children and parents.
struct VLK_Network_int_t {
  int32_t index;
  int32_t children;
  int32_t parents;
};

// Value record: a node with one value of it; NaN stands for a node without the value.
struct VLK_Network_double_t {
  int32_t index;
  double value;
};

// qsort comparators, both strict weak orders: most children first / largest value first
// (values compared exactly, NaN last); equal keys in ascending node index.
int VLK_Network_int_t_cmp(const void* a, const void* b);
int VLK_Network_double_t_cmp(const void* a, const void* b);
