# Helpers that turn each src/<name> folder into the static library om_<name>.
#
# The libraries form layers (see docs/architecture.md): each one links only
# the libraries below it that it calls, named in its DEPS, and the linker
# enforces it.  There is no cyclic group: a call upward fails to link.
function(ombra_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  add_library(om_${name} STATIC ${srcs})
  target_include_directories(om_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(om_${name} PRIVATE OMBRA_DATADIR="${OMBRA_DATADIR}")
  foreach(dep ${ARG_DEPS})
    target_link_libraries(om_${name} PUBLIC om_${dep})
  endforeach()
endfunction()

# The whole program without its entry (om_main holds the start-up and the
# main loop; main.cpp alone makes the executable), for the fuzz harnesses.
function(ombra_link_all target)
  target_link_libraries(${target} PRIVATE om_main)
endfunction()
