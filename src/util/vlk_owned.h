// Owning handles for the library's heap records, for C++ callers and tests:
// vlk::Owned<VLK_Data, VLK_Data_delete> frees with the record's own release function.
#pragma once

#include <memory>

namespace vlk {

template <auto Fn>
struct FreeWith {
  template <class T>
  void operator()(T* p) const noexcept {
    Fn(p);
  }
};

template <class T, auto Fn>
using Owned = std::unique_ptr<T, FreeWith<Fn>>;

}  // namespace vlk
