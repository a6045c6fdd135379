// What the tests of the network writers share: small networks from labels and index pairs.
#pragma once

#include <utility>
#include <vector>

#include "VLK_KeyValues.h"
#include "VLK_Network.h"
#include "vlk_owned.h"

namespace writer_test {

using KeyValuesPtr = vlk::Owned<VLK_KeyValues, VLK_KeyValues_delete>;

// Nodes (name, alias) in order, then the edges parent -> child by node index.
inline vlk::NetworkPtr network(const std::vector<std::pair<const char*, const char*>>& nodes,
                               const std::vector<std::pair<int, int>>& edges) {
  vlk::NetworkPtr net(VLK_Network_new());
  for (const auto& [name, alias] : nodes)
    VLK_Network_add_node(net.get(), VLK_Node_new(name, alias));
  for (const auto& [pa, ch] : edges) VLK_Network_add_edge_index(net.get(), pa, ch);
  return net;
}

}  // namespace writer_test
