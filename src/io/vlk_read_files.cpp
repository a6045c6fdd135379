#include "vlk_read_files.h"

#include <cstdio>

#include "VLK_Data_merge.h"
#include "velkcom.h"
#include "vlk_data_read.h"

namespace vlk {

VLK_Data* read_files(const VLK_StrArray* paths, const VLK_KeyValues* options, DataFileReader read,
                     const char* module) {
  DataPtr result;
  for (size_t i = 0; i < VLK_StrArray_size(paths); ++i) {
    const char* path = VLK_StrArray_get(paths, i);
    std::fprintf(VELK_ERR, "Reading: %s\n", path);
    std::fflush(VELK_ERR);
    DataPtr d(read(path, options));
    if (!d) {
      std::fprintf(VELK_ERR, "WARNING: %s: cannot read file: %s\n", module, path);
      continue;
    }
    if (!result) {
      result = std::move(d);
      continue;
    }
    const int added = VLK_Data_append(result.get(), d.get());
    std::fprintf(VELK_ERR, "  Added %d new non-redundant nodes.\n", added);
  }
  return result.release();
}

}  // namespace vlk
