// Which BLAS and LAPACK the library runs. It calls them on tiny matrices from many threads at
// once, which only the reference code does without serialising the threads; an optimised BLAS
// (OpenBLAS) that the loader or a changed link line slips in would still give correct numbers,
// just slowly, so nothing else would notice.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <string>
#include <vector>

#include "vlk_lapack.h"

namespace {

// The base address of the loaded object (program or shared object) that holds address.
const void* object_of(const void* address) {
  Dl_info info{};
  return dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
}

template <class F>
const void* address_of(F* f) {
  return reinterpret_cast<const void*>(f);
}

// The shared objects loaded into the process, by the name the loader knows them by.
std::vector<std::string> shared_objects() {
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
          static_cast<std::vector<std::string>*>(out)->emplace_back(info->dlpi_name);
        return 0;
      },
      &names);
  return names;
}

}  // namespace

// Every routine the library calls lives in the program itself (the static reference archives),
// and no shared object in the process offers one of them or is OpenBLAS.
TEST(MatrixBlas, TheReferenceCodeIsLinkedIn) {
  const struct {
    const char* name;
    const void* address;
  } routines[] = {
      {"dsytrf_", address_of(&dsytrf_)}, {"dsytri_", address_of(&dsytri_)},
      {"dgetri_", address_of(&dgetri_)}, {"dsyev_", address_of(&dsyev_)},
      {"dgemm_", address_of(&dgemm_)},   {"daxpy_", address_of(&daxpy_)},
      {"dcopy_", address_of(&dcopy_)},   {"dscal_", address_of(&dscal_)},
  };
  const void* program = object_of(address_of(&object_of));
  ASSERT_NE(program, nullptr);
  const std::vector<std::string> objects = shared_objects();
  for (const auto& r : routines) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(object_of(r.address), program) << "taken from a shared object";
    // Also where the program's own address would hide it (a non-PIE program's PLT entry).
    for (const std::string& name : objects) {
      void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
      if (handle == nullptr) continue;
      EXPECT_EQ(dlsym(handle, r.name), nullptr) << "offered by " << name;
      dlclose(handle);
    }
  }
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "openblas_get_config"), nullptr);
}
