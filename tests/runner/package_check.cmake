# `cmake --install BUILD --prefix PREFIX` and the package of `cpack` hold exactly the add-on's
# files in the simulator's folders: the two modules in Modules/ and the files of sim/addon (its
# own seatable astronaut AerobellCrew among them), none of the test world's stand-ins and not the
# simulator's mmu module built for it. A message module another add-on installed is kept.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX} ${PREFIX}-package ${PREFIX}-unzipped ${PREFIX}-theirs)

file(GLOB_RECURSE expected RELATIVE ${ADDON} ${ADDON}/*)
list(APPEND expected Modules/Aerobell${SUFFIX} Modules/cvelmessage${SUFFIX})
list(SORT expected)
foreach(f Config/Vessels/AEROBELL.cfg Config/Vessels/AerobellCrew.cfg Meshes/Aerobell.msh
          Scenarios/Aerobell/Mmu.scn Scenarios/Aerobell/Mmu.flight Scenarios/Aerobell/SeatDock.scn)
  if(NOT f IN_LIST expected)
    message(FATAL_ERROR "the add-on's own ${f} is not among its files")
  endif()
endforeach()

function(compare what dir)
  file(GLOB_RECURSE got RELATIVE ${dir} ${dir}/*)
  list(SORT got)
  if(NOT got STREQUAL expected)
    set(extra ${got})
    list(REMOVE_ITEM extra ${expected})
    set(missing ${expected})
    list(REMOVE_ITEM missing ${got})
    message(FATAL_ERROR "${what} differs from the add-on: extra [${extra}], missing [${missing}]")
  endif()
endfunction()

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
compare("cmake --install" ${PREFIX})

execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake -B ${PREFIX}-package
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB zips ${PREFIX}-package/*.zip)
list(LENGTH zips n)
if(NOT rc EQUAL 0 OR NOT n EQUAL 1)
  message(FATAL_ERROR "cpack made no single zip (${rc}): ${out}")
endif()
file(MAKE_DIRECTORY ${PREFIX}-unzipped)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zips} WORKING_DIRECTORY ${PREFIX}-unzipped
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${zips}")
endif()
compare("the zip" ${PREFIX}-unzipped)

set(theirs ${PREFIX}-theirs/Modules/cvelmessage${SUFFIX})
file(WRITE ${theirs} "another add-on's message module")
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}-theirs
                RESULT_VARIABLE rc OUTPUT_VARIABLE out)
file(READ ${theirs} kept)
if(NOT rc EQUAL 0 OR NOT kept STREQUAL "another add-on's message module"
   OR NOT out MATCHES "Kept: [^\n]*/Modules/cvelmessage${SUFFIX} \\(already installed")
  message(FATAL_ERROR "an installed message module was not kept (${rc}): ${out}")
endif()
