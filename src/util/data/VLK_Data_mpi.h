// Sending a data set from one process to all others.
#pragma once

#include <mpi.h>

#include <cstddef>

#include "VLK_Data.h"

// Collective. Every other rank receives through *d a new data set (what *d held before is not
// released) with the root's sizes, category flag, values (a separate second block stays
// separate), names, aliases, category labels and column IDs; sample names, meta data and
// attributes are not sent and stay null there. A null name or alias arrives as "". The root's
// data set is unchanged.
void VLK_Data_MPI_Bcast(VLK_Data** d, int root, MPI_Comm comm);

namespace vlk {
// Collective: count doubles from root to every process, in as many messages as an int count
// needs.
void mpi_bcast_doubles(double* values, size_t count, int root, MPI_Comm comm);
}  // namespace vlk
