#include "evaluation/reference.h"

#include <cstdio>

#include "VLK_IO.h"
#include "VLK_Network.h"
#include "velkcom.h"
#include "vlk_fatal.h"

void read_reference(Args* a) {
  if (a->reference_file == nullptr) return;
  std::fprintf(VELK_ERR, "Reading the compare file: %s\n", a->reference_file);
  a->reference = IO_read_file(a->reference_file, "VLK3", nullptr);
  if (a->reference == nullptr)
    vlk::fatal("ERROR: Failed to read the compare file: %s\n", a->reference_file);
  const size_t nodes = VLK_Network_num_nodes(a->reference);
  if (nodes != static_cast<size_t>(a->nodes))
    vlk::fatal(
        "ERROR: the compare file %s has %zu nodes and the input data %d genes; its nodes are "
        "taken as the genes in their order\n",
        a->reference_file, nodes, a->nodes);
}
