# Installs the build tree into PREFIX and flies a bundled scenario with the installed runner,
# which must find its simulation root by itself.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(f bin/aerobell-sim sim/Modules/Aerobell.so sim/Modules/cvelmessage.so
          sim/Config/Vessels/AEROBELL.cfg sim/Meshes/Aerobell.msh sim/Scenarios/Aerobell/Mmu.scn)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "${f} is not installed")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/aerobell-sim run Aerobell/Mmu.scn --until 2
                WORKING_DIRECTORY ${PREFIX} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 0 OR NOT out MATCHES "Flying ${PREFIX}/sim/Scenarios/Aerobell/Mmu.scn"
   OR NOT out MATCHES "Mmu-1 +empty mass 100.00 -> 312.00 kg")
  message(FATAL_ERROR "the installed runner did not fly")
endif()
