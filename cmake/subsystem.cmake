# Helpers that turn each src/<name> folder into the static library om_<name>.
set(OMBRA_LIBS "" CACHE INTERNAL "")

function(ombra_subsystem name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(NOT srcs)
    add_library(om_${name} INTERFACE)
    target_include_directories(om_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    return()
  endif()
  add_library(om_${name} STATIC ${srcs})
  target_include_directories(om_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(om_${name} PRIVATE OMBRA_DATADIR="${OMBRA_DATADIR}")
  set_property(TARGET om_${name} PROPERTY LINK_INTERFACE_MULTIPLICITY 4)
  set(OMBRA_LIBS ${OMBRA_LIBS} om_${name} CACHE INTERNAL "")
endfunction()

# Every real subsystem library links every other one (static libraries may
# form a cycle), so a consumer only has to name the ones it calls.
function(ombra_link_subsystems)
  foreach(a ${OMBRA_LIBS})
    foreach(b ${OMBRA_LIBS})
      if(NOT a STREQUAL b)
        target_link_libraries(${a} PUBLIC ${b})
      endif()
    endforeach()
  endforeach()
endfunction()

# All subsystem libraries, for the executable and the tests.
function(ombra_link_all target)
  target_link_libraries(${target} PRIVATE ${OMBRA_LIBS})
  foreach(sub base cmd data expr gx plot script sdf lats)
    if(TARGET om_${sub})
      target_link_libraries(${target} PRIVATE om_${sub})
    endif()
  endforeach()
endfunction()
