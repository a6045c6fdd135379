# Every external library the system calls; none of them is rebuilt here.
find_package(OpenMP REQUIRED COMPONENTS C CXX)
find_package(BLAS REQUIRED)
find_package(LAPACK REQUIRED)
if(USE_MPI)
  find_package(MPI REQUIRED COMPONENTS C CXX)
endif()

# dSFMT ships no pkg-config file; the exponent is fixed by the library we link.
find_path(DSFMT_INCLUDE_DIR dSFMT.h REQUIRED)
find_library(DSFMT_LIBRARY NAMES dSFMT-19937 REQUIRED)
add_library(dsfmt::dsfmt UNKNOWN IMPORTED)
set_target_properties(dsfmt::dsfmt PROPERTIES
  IMPORTED_LOCATION "${DSFMT_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${DSFMT_INCLUDE_DIR}"
  INTERFACE_COMPILE_DEFINITIONS "DSFMT_MEXP=19937")
