# Cross build of the Windows program with mingw-w64, tested under Wine. Used
# through toolchain-mingw-i686.cmake (the product, 32-bit) or
# toolchain-mingw-x86_64.cmake (the same sources as a 64-bit program, for
# machines that run only 64-bit Wine), which set PELLIPORT_MINGW_ARCH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${PELLIPORT_MINGW_ARCH})

# The posix flavour of the compiler has std::thread.
set(PELLIPORT_MINGW_TRIPLET ${PELLIPORT_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${PELLIPORT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELLIPORT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELLIPORT_MINGW_TRIPLET}-windres)

# SSE2, which every Windows since Windows 8 requires of the processor: the
# text scanning works on 128-bit vectors. Appended, so that a build that sets
# its own initial flags (libjpeg's) keeps them and gets these too.
set(PELLIPORT_MINGW_FLAGS "-msse2")
if(PELLIPORT_MINGW_ARCH STREQUAL "i686")
  # 32-bit Windows keeps the stack only 4-byte aligned where it enters our
  # code: at thread starts, at callbacks and in code built by others. SSE
  # spills to the stack need 16 bytes, so every function that needs more than
  # 4 realigns its own frame instead of trusting the caller's (the x86_64 ABI
  # guarantees 16 bytes, so the 64-bit build needs nothing). The build checks
  # that the compiler takes it (cmake/StackAlignment.cmake).
  string(APPEND PELLIPORT_MINGW_FLAGS " -mincoming-stack-boundary=2")
endif()
# CMake reads a toolchain file more than once: the flags go in once.
if(NOT CMAKE_C_FLAGS_INIT MATCHES "-msse2")
  string(APPEND CMAKE_C_FLAGS_INIT " ${PELLIPORT_MINGW_FLAGS}")
  string(APPEND CMAKE_CXX_FLAGS_INIT " ${PELLIPORT_MINGW_FLAGS}")
endif()

# Libraries for Windows: the compiler's own, and libjpeg as
# tools/build-libjpeg-windows.sh installs it, so that find_package(JPEG) finds
# it here as it finds Debian's package in the native build.
get_filename_component(PELLIPORT_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(PELLIPORT_LIBJPEG_PREFIX "${PELLIPORT_SOURCE_ROOT}/build/libjpeg-${PELLIPORT_MINGW_ARCH}"
    CACHE PATH "Where the Windows build of libjpeg is installed")
set(CMAKE_FIND_ROOT_PATH /usr/${PELLIPORT_MINGW_TRIPLET} ${PELLIPORT_LIBJPEG_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine of their own width, with a Wine prefix of the
# build's own. Every Wine prefix of the build's tests lies in the folder
# `wine` of the build (the emulated PC keeps that folder on its own disk):
# the test programs' in `wine/tests`.
if(PELLIPORT_MINGW_ARCH STREQUAL "x86_64")
  set(PELLIPORT_WINEARCH win64)
else()
  set(PELLIPORT_WINEARCH win32)
endif()
if(CMAKE_BINARY_DIR)
  set(PELLIPORT_WINE_PREFIXES "${CMAKE_BINARY_DIR}/wine")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "env;WINEARCH=${PELLIPORT_WINEARCH};${PELLIPORT_SOURCE_ROOT}/tools/wine-run.sh;${PELLIPORT_WINE_PREFIXES}/tests")
endif()
