# GoogleTest from the source Debian installs, so that the Windows cross build
# gets the same framework as the native one.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
if(EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

# pelliport_add_test(<name> SOURCES ... LIBRARIES ...)
# One test program; CTest runs it (under the cross-compiling emulator, Wine,
# for the Windows build). The tests find the built host through
# PELLIPORT_HOST_EXE and the source tree through PELLIPORT_SOURCE_DIR.
function(pelliport_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} pelliport_test_support GTest::gtest GTest::gmock pelliport_warnings)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
