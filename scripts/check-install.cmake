cmake_minimum_required(VERSION 3.25)
# Installs the build into a fresh prefix as the README says (stripped) and checks that the
# program carries no symbols or debug information, and that the desktop entry starts the
# installed program and names an installed icon, under the id the program itself uses.
# -DBUILD=<build folder> -DPREFIX=<scratch prefix> -DAPP_ID=<desktop entry id>
# -DREADELF=<readelf, or empty to skip the symbol check>
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} --strip
  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${errors}")
endif()

set(entry ${PREFIX}/share/applications/${APP_ID}.desktop)
foreach(file ${PREFIX}/bin/marrowick ${entry} ${PREFIX}/share/icons/hicolor/scalable/apps/${APP_ID}.svg)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

file(STRINGS ${entry} lines)
foreach(key Exec Icon)
  set(found ${lines})
  list(FILTER found INCLUDE REGEX "^${key}=")
  list(LENGTH found count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${entry} has ${count} ${key} lines")
  endif()
  string(REGEX REPLACE "^${key}=" "" value_${key} "${found}")
endforeach()
if(NOT value_Exec STREQUAL "marrowick")
  message(FATAL_ERROR "Exec=${value_Exec} does not start the installed marrowick")
endif()
if(NOT value_Icon STREQUAL APP_ID)
  message(FATAL_ERROR "Icon=${value_Icon} is not the installed icon ${APP_ID}")
endif()
file(STRINGS ${entry} header LIMIT_COUNT 1)
if(NOT header STREQUAL "[Desktop Entry]")
  message(FATAL_ERROR "${entry} does not start with its group header")
endif()

if(READELF)
  execute_process(COMMAND ${READELF} --section-headers --wide ${PREFIX}/bin/marrowick
    RESULT_VARIABLE result OUTPUT_VARIABLE sections ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "readelf failed: ${errors}")
  endif()
  if(sections MATCHES "\\.(symtab|debug_[a-z]+)")
    message(FATAL_ERROR "bin/marrowick is not stripped: it has a ${CMAKE_MATCH_0} section")
  endif()
endif()
