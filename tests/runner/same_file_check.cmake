# The README's committed demo plot is the one the demo draws now.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DRAWN} ${COMMITTED} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${COMMITTED} is not the plot the demo draws (${DRAWN}); "
                      "run scripts/update-demo-plot and commit it")
endif()
