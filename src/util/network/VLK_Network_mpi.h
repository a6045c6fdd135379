// Sending an annotated network from one process to all others.
#pragma once

#include <mpi.h>

#include "VLK_Network.h"

// Collective. The root's network goes out whole: nodes (names, aliases, drawing records with
// their properties), edges in order with theirs, the primary score, the network properties and
// the extra drawing objects. Every other rank receives a new network through *net (what *net
// held before is not released); the root's network is unchanged. A property value of a type
// that has no wire form ends all ranks with a message.
void VLK_Network_MPI_Bcast(VLK_Network** net, int root, MPI_Comm comm);
