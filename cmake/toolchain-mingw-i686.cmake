# The product: the 32-bit Windows program, built with mingw-w64 for i686.
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
set(PELLIPORT_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
