# pelliport_link_system_library(<target> SHARED <targets...> STATIC <archives...>)
# Links a system library into <target>: its shared library, or its static
# archives for the programs that set the property PELLIPORT_STATIC_LIBRARIES
# (the host program: it is started once for each capture, and the dynamic
# loader resolving ICU's and the C++ library's symbols is a good part of that
# start).
function(pelliport_link_system_library target)
  cmake_parse_arguments(ARG "" "" "SHARED;STATIC" ${ARGN})
  set(static "$<BOOL:$<TARGET_PROPERTY:PELLIPORT_STATIC_LIBRARIES>>")
  target_link_libraries(${target} PRIVATE "$<${static}:${ARG_STATIC}>" "$<$<NOT:${static}>:${ARG_SHARED}>")
endfunction()

# pelliport_find_static_archives(<variable> <names...>)
# The paths of the static archives lib<name>.a, in the order given; an error
# when one is missing.
function(pelliport_find_static_archives variable)
  set(paths "")
  foreach(name IN LISTS ARGN)
    find_library(PELLIPORT_STATIC_${name} NAMES lib${name}.a)
    if(NOT PELLIPORT_STATIC_${name})
      message(FATAL_ERROR "lib${name}.a not found: install its -dev package, or configure with -DPELLIPORT_STATIC_HOST=OFF")
    endif()
    list(APPEND paths ${PELLIPORT_STATIC_${name}})
  endforeach()
  set(${variable} ${paths} PARENT_SCOPE)
endfunction()
