# Flies one scenario twice and compares every scenario file the runs wrote, byte for byte, with
# the expected saves checked in beside this script: once only loaded (saved before the first
# step), once flown (with its flight script where it has one, saved at the end, plus whatever the
# script saves itself).
#
#   cmake -DEXE=aerobell-sim -DSCENARIO=file.scn [-DSCRIPT=file.flight] [-DDT=s]
#         -DWORKDIR=dir -DEXPECTED=dir -P saves_check.cmake
#
# With the environment variable AEROBELL_UPDATE_SAVES set (to anything but empty or 0), the
# expected saves are written from these runs instead of compared: after a deliberate change of
# what a save holds, `scripts/update-expected-saves` runs every such test so, and git shows the
# difference for review.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORKDIR})
file(MAKE_DIRECTORY ${WORKDIR})

function(fly)
  execute_process(COMMAND ${EXE} run ${SCENARIO} ${ARGN} --quiet WORKING_DIRECTORY ${WORKDIR}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${EXE} run ${SCENARIO} ${ARGN}: exit status ${rc}\n${out}\n${err}")
  endif()
endfunction()

fly(--no-script --until 0 --save loaded.scn)
if(SCRIPT)
  set(script --script ${SCRIPT})
else()
  set(script --no-script)
endif()
if(DT)
  list(APPEND script --dt ${DT})
endif()
fly(${script} --save flown.scn)

file(GLOB written RELATIVE ${WORKDIR} ${WORKDIR}/*.scn)
if("$ENV{AEROBELL_UPDATE_SAVES}" AND NOT "$ENV{AEROBELL_UPDATE_SAVES}" STREQUAL "0")
  file(REMOVE_RECURSE ${EXPECTED})
  file(MAKE_DIRECTORY ${EXPECTED})
  foreach(f IN LISTS written)
    file(COPY_FILE ${WORKDIR}/${f} ${EXPECTED}/${f})
  endforeach()
  message("wrote ${written} to ${EXPECTED}")
  return()
endif()

file(GLOB expected RELATIVE ${EXPECTED} ${EXPECTED}/*.scn)
if(NOT written STREQUAL expected)
  message(FATAL_ERROR "the runs wrote '${written}', expected '${expected}' (${EXPECTED})")
endif()
set(failed "")
foreach(f IN LISTS written)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXPECTED}/${f} ${WORKDIR}/${f}
                  RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    execute_process(COMMAND diff -u ${EXPECTED}/${f} ${WORKDIR}/${f} OUTPUT_VARIABLE d)
    message("${d}")
    list(APPEND failed ${f})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "differ from the expected saves in ${EXPECTED}: ${failed} (kept in "
                      "${WORKDIR}; AEROBELL_UPDATE_SAVES=1 writes them as expected)")
endif()
