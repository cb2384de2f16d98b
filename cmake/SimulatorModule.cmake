# A module that the simulator loads from its Modules folder: named without a "lib" prefix, built
# into the simulation root, and exporting nothing but what its exports.map names (on Windows,
# what is marked __declspec(dllexport) through DLLCLBK).
function(aerobell_simulator_module target)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${AEROBELL_MODULE_DIR})
  if(NOT WIN32)
    set(map ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${map})
    target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,--no-undefined)
  endif()
endfunction()
