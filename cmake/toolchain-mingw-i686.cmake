# Cross build of the 32-bit Windows program with mingw-w64 (i686), tested
# under Wine:
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

# The posix flavour of the compiler has std::thread.
set(PELLIPORT_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PELLIPORT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELLIPORT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELLIPORT_MINGW_TRIPLET}-windres)

# SSE2, which every Windows since Windows 8 requires of the processor: the
# text scanning works on 128-bit vectors.
set(CMAKE_C_FLAGS_INIT "-msse2")
set(CMAKE_CXX_FLAGS_INIT "-msse2")

# Libraries for Windows: the compiler's own, and libjpeg as
# tools/build-libjpeg-i686.sh installs it, so that find_package(JPEG) finds
# it here as it finds Debian's package in the native build.
get_filename_component(PELLIPORT_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(PELLIPORT_LIBJPEG_PREFIX "${PELLIPORT_SOURCE_ROOT}/build/libjpeg-i686"
    CACHE PATH "Where the i686 build of libjpeg is installed")
set(CMAKE_FIND_ROOT_PATH /usr/${PELLIPORT_MINGW_TRIPLET} ${PELLIPORT_LIBJPEG_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under 32-bit Wine, with a Wine prefix of the build's own.
if(CMAKE_BINARY_DIR)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${PELLIPORT_SOURCE_ROOT}/tools/wine-run.sh;${CMAKE_BINARY_DIR}/wine")
endif()
