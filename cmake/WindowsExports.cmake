# Target check_exports: the two module DLLs export their entry points undecorated and nothing
# else, as the simulator looks them up by name.
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES objdump)
endif()
set(_check ${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake)
add_custom_target(check_exports ALL
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:Aerobell>
          -DEXPECT=ovcInit,ovcExit -P ${_check}
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:cvelmessage>
          -DEXPECT=SendCMessage,CheckCMessage -P ${_check}
  DEPENDS ${_check}
  COMMENT "Checking the modules' export tables"
  VERBATIM)
add_dependencies(check_exports Aerobell cvelmessage)
