# The same sources as a 64-bit Windows program, for running the Windows tests
# under 64-bit Wine on machines that execute no 32-bit code.
#   cmake -S . -B build/windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
set(PELLIPORT_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
