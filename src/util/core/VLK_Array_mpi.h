// Int-array and string-array transfers between MPI processes.
#pragma once

#include <mpi.h>

#include "VLK_IntArray.h"
#include "VLK_StrArray.h"

void VLK_IntArray_MPI_Bcast(VLK_IntArray** a, int root, MPI_Comm comm);
void VLK_IntArray_MPI_Bcast_ar(VLK_IntArray** block, size_t* n, int root, MPI_Comm comm);
void VLK_IntArray_MPI_Bcast_copy(VLK_IntArray* a, int root, MPI_Comm comm);
void VLK_IntArray_MPI_Send(const VLK_IntArray* a, int dest, MPI_Comm comm);
void VLK_IntArray_MPI_Recv(VLK_IntArray* a, int source, MPI_Comm comm);
void VLK_IntArray_MPI_Recv_add(VLK_IntArray* a, int source, MPI_Comm comm);

void VLK_StrArray_MPI_Bcast(VLK_StrArray** a, int root, MPI_Comm comm);
void VLK_StrArray_ar_MPI_Bcast(VLK_StrArray** block, size_t* n, int root, MPI_Comm comm);
