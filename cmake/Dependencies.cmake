# Every external library the system calls; none of them is rebuilt here.
find_package(OpenMP REQUIRED COMPONENTS C CXX)
if(USE_MPI)
  find_package(MPI REQUIRED COMPONENTS C CXX)
endif()

# BLAS and LAPACK: the reference implementation, linked statically. Every call the library makes is
# on a tiny matrix from inside a threaded region; an optimised BLAS takes a process-wide lock in its
# scratch allocator there and serialises the threads. Debian picks libblas.so.3 / liblapack.so.3 at
# run time through its alternatives (OpenBLAS wins when installed), so the shared objects cannot
# promise the reference code; the archives of libblas-dev / liblapack-dev can.
find_library(VLK_REF_LAPACK NAMES liblapack.a PATH_SUFFIXES lapack REQUIRED)
find_library(VLK_REF_BLAS NAMES libblas.a PATH_SUFFIXES blas REQUIRED)
# The Fortran runtime the reference archives call into (libgfortran5 comes with liblapack3).
find_library(VLK_GFORTRAN NAMES gfortran libgfortran.so.5 REQUIRED)
add_library(vlk_lapack INTERFACE)
target_link_libraries(vlk_lapack INTERFACE ${VLK_REF_LAPACK} ${VLK_REF_BLAS} ${VLK_GFORTRAN} m)
add_library(vlk::lapack ALIAS vlk_lapack)

# dSFMT ships no pkg-config file; the exponent is fixed by the library we link.
find_path(DSFMT_INCLUDE_DIR dSFMT.h REQUIRED)
find_library(DSFMT_LIBRARY NAMES dSFMT-19937 REQUIRED)
add_library(dsfmt::dsfmt UNKNOWN IMPORTED)
set_target_properties(dsfmt::dsfmt PROPERTIES
  IMPORTED_LOCATION "${DSFMT_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${DSFMT_INCLUDE_DIR}"
  INTERFACE_COMPILE_DEFINITIONS "DSFMT_MEXP=19937")
