# Installs the runner's component into PREFIX and flies a bundled scenario with the installed
# runner, started from a folder of its own: it must find the simulation root installed under
# share/, with the test world's classes the scenario needs (and the simulator's modules of them
# built from its samples, SAMPLES, where they were).
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX} ${PREFIX}-work)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --component runner --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
set(root share/aerobell/sim)
foreach(f bin/aerobell-sim lib/liborbiter_host.so ${root}/Modules/Aerobell.so
          ${root}/Modules/cvelmessage.so ${root}/Config/Vessels/AEROBELL.cfg
          ${root}/Meshes/Aerobell.msh ${root}/Scenarios/Aerobell/Mmu.scn
          ${root}/Config/Vessels/nasa_mmu.cfg ${root}/Config/Vessels/AerobellCrew.cfg ${SAMPLES})
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "${f} is not installed")
  endif()
endforeach()
if(EXISTS ${PREFIX}/sim OR EXISTS ${PREFIX}/Modules)
  message(FATAL_ERROR "a simulation root was installed at the top of the prefix")
endif()
file(MAKE_DIRECTORY ${PREFIX}-work)
execute_process(COMMAND ${PREFIX}/bin/aerobell-sim run Aerobell/Mmu.scn --until 2
                WORKING_DIRECTORY ${PREFIX}-work RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 0 OR NOT out MATCHES "Flying ${PREFIX}/${root}/Scenarios/Aerobell/Mmu.scn"
   OR NOT out MATCHES "Mmu-1 +empty mass 100.00 -> 312.00 kg")
  message(FATAL_ERROR "the installed runner did not fly")
endif()
