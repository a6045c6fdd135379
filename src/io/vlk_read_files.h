// The multi-file form shared by the data readers: read every file in order and append the new
// nodes of each to the first data set read.
#pragma once

#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_StrArray.h"

namespace vlk {

using DataFileReader = VLK_Data* (*)(const char* path, const VLK_KeyValues* options);

// `module` names the reader in the warning for a file that cannot be read.
VLK_Data* read_files(const VLK_StrArray* paths, const VLK_KeyValues* options, DataFileReader read,
                     const char* module);

}  // namespace vlk
