# tarnel-<version>-setup.exe: the installer of this architecture's
# tarnel.exe, made with NSIS (Debian's nsis package builds it on Linux).
find_program(MAKENSIS makensis)
if(NOT MAKENSIS)
  message(STATUS "makensis not found: no installer (apt-get install nsis)")
  return()
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TARNEL_SETUP_BITS 64)
else()
  set(TARNEL_SETUP_BITS 32)
endif()
set(TARNEL_SETUP ${CMAKE_BINARY_DIR}/tarnel-${TARNEL_VERSION_TEXT}-setup.exe)
add_custom_command(OUTPUT ${TARNEL_SETUP}
  COMMAND ${MAKENSIS} -V2 -DVERSION=${TARNEL_VERSION_TEXT} -DBITS=${TARNEL_SETUP_BITS}
          -DPROGRAM=$<TARGET_FILE:tarnel> -DHELP=${CMAKE_SOURCE_DIR}/help/Tarnel.hlp -DART=${CMAKE_SOURCE_DIR}/art
          -DOUTFILE=${TARNEL_SETUP} ${CMAKE_CURRENT_LIST_DIR}/tarnel.nsi
  DEPENDS tarnel ${CMAKE_CURRENT_LIST_DIR}/tarnel.nsi ${CMAKE_SOURCE_DIR}/help/Tarnel.hlp ${TARNEL_ART}
  COMMENT "Making tarnel-${TARNEL_VERSION_TEXT}-setup.exe (${TARNEL_SETUP_BITS}-bit)"
  VERBATIM)
add_custom_target(tarnel_setup ALL DEPENDS ${TARNEL_SETUP})
