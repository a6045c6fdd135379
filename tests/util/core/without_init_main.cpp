// A program that uses the library without VLK_init: its messages reach standard error.
#include "VLK_Data.h"
#include "VLK_IntArray.h"

int main() {
  VLK_Data* d = VLK_Data_new();
  VLK_IntArray* list = VLK_IntArray_new();
  const int r = VLK_Data_read_node_set_file(d, list, "/nonexistent/nodes.txt", 0);
  VLK_IntArray_delete(list);
  VLK_Data_delete(d);
  return r == -1 ? 0 : 1;
}
