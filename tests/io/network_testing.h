// What the tests of the network formats share: a drawing record's typed properties as plain
// (key, type name, value text) entries, for comparing what a reader gave with what was written.
#pragma once

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "CSMLObject.h"
#include "VLK_Object.h"
#include "vlk_test.h"

namespace network_test {

using Props = std::vector<std::tuple<std::string, std::string, std::string>>;

inline Props props(const CSMLObject* obj) {
  Props out;
  for (size_t i = 0; i < CSMLObject_num_properties(obj); ++i) {
    const VLK_Object* box = CSMLObject_get_property_value(obj, i);
    out.emplace_back(CSMLObject_get_property_key(obj, i), VLK_Object_type_name(box),
                     vlk_test::capture([&](FILE* fp) { VLK_Object_fprint(box, fp); }));
  }
  return out;
}

}  // namespace network_test
