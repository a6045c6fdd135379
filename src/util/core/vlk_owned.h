// Owning handles for the library's heap records, for C++ callers and tests:
// vlk::Owned<VLK_Data, VLK_Data_delete> frees with the record's own release function.
#pragma once

#include <cstdlib>
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

// A block or string from malloc/strdup, released with free().
struct FreeMalloced {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <class T>
using MallocPtr = std::unique_ptr<T, FreeMalloced>;

// A malloc'ed copy of v (so that free() and the registry's delete release it); null when the
// allocation fails.
template <class T>
T* heap_value(T v) {
  T* p = static_cast<T*>(std::malloc(sizeof(T)));
  if (p != nullptr) *p = v;
  return p;
}

}  // namespace vlk
