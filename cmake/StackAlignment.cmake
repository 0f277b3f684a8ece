# The i686 build must not assume a 16-byte aligned stack where Windows enters
# its code (see toolchain-mingw.cmake): asks the compiler, with the flags of
# this build, which incoming stack alignment it assumes, and stops the build
# when that is not 4 bytes (2^2).
string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
separate_arguments(flags UNIX_COMMAND "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${build_type}}")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${flags} -Q --help=target
                OUTPUT_VARIABLE target_options RESULT_VARIABLE result ERROR_QUIET)
if(NOT result EQUAL 0 OR NOT target_options MATCHES "-mincoming-stack-boundary=[ \t]+2[\r\n]")
  message(FATAL_ERROR "The i686 build must assume a 4-byte aligned incoming stack "
                      "(-mincoming-stack-boundary=2), but ${CMAKE_CXX_COMPILER} with \"${flags}\" does not")
endif()
message(STATUS "i686 stack alignment: functions realign their own frames (incoming boundary 4 bytes)")
