// Sending a parent-list graph from one process to all others.
#pragma once

#include <mpi.h>

#include "VLK_Graph.h"

// The root's graph goes out; every other rank receives a new graph through *g.
void VLK_Graph_Bcast(VLK_Graph** g, int root, MPI_Comm comm);
