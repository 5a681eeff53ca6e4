# Fails when a file of the library or the application includes a header of a higher folder or
# of a folder in its own layer (so no two folders can ever include each other, directly or
# round a loop), when the library includes the application or a Qt Gui or Widgets header, or
# when a source file lies at the top of either instead of in a folder.
# cmake -DKIT=<MarrowickKit> -DLAYERS=Async,Model,Transport|Credentials,...
#       -DAPP=<Marrowick> -DAPP_LAYERS=State,Style,...
#       -DGUI_HEADER_FOLDERS=<QtGui include dir>,<QtWidgets include dir> -P check-layering.cmake
string(REPLACE "," ";" gui_header_folders "${GUI_HEADER_FOLDERS}")
set(gui_headers "")
foreach(folder ${gui_header_folders})
  file(GLOB headers RELATIVE ${folder} ${folder}/Q*)
  list(APPEND gui_headers ${headers})
endforeach()

set(faults "")

# Checks every folder of `root` (whose includes start with `prefix`/) against the layer order.
# `own_only` forbids what the library must never include; the application may include it all.
function(check_tree root prefix layer_list own_only)
  string(REPLACE "," ";" layers "${layer_list}")
  set(rank 0)
  set(known_folders "")
  foreach(layer ${layers})
    string(REPLACE "|" ";" folders "${layer}")
    foreach(folder ${folders})
      set(rank_of_${folder} ${rank})
      list(APPEND known_folders ${folder})
    endforeach()
    math(EXPR rank "${rank} + 1")
  endforeach()

  set(found ${faults})
  file(GLOB stray ${root}/*.h ${root}/*.cpp)
  foreach(file ${stray})
    list(APPEND found "${file}: belongs in a folder")
  endforeach()

  foreach(folder ${known_folders})
    file(GLOB sources ${root}/${folder}/*.h ${root}/${folder}/*.cpp)
    foreach(file ${sources})
      file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include")
      foreach(line ${includes})
        if(line MATCHES "\"${prefix}/([A-Za-z]+)/")
          set(target ${CMAKE_MATCH_1})
          if(NOT DEFINED rank_of_${target})
            list(APPEND found "${file}: ${line} names no ${prefix} folder")
          elseif(NOT target STREQUAL folder AND NOT rank_of_${target} LESS rank_of_${folder})
            list(APPEND found "${file}: ${line} reaches up or across from ${folder} to ${target}")
          endif()
        elseif(line MATCHES "\"${prefix}/[^/]+\"")
          list(APPEND found "${file}: ${line} names no ${prefix} folder")
        elseif(own_only AND line MATCHES "\"Marrowick/")
          list(APPEND found "${file}: ${line} is the application's")
        elseif(own_only AND line MATCHES "<(QtGui|QtWidgets)/")
          list(APPEND found "${file}: ${line} is a Gui or Widgets header")
        elseif(own_only AND line MATCHES "<(Q[A-Za-z0-9]+)>")
          list(FIND gui_headers ${CMAKE_MATCH_1} gui)
          if(gui GREATER -1)
            list(APPEND found "${file}: ${line} is a Gui or Widgets header")
          endif()
        endif()
      endforeach()
    endforeach()
  endforeach()
  list(LENGTH known_folders count)
  message(STATUS "layering: ${count} ${prefix} folders in order")
  set(faults ${found} PARENT_SCOPE)
endfunction()

check_tree(${KIT} MarrowickKit "${LAYERS}" TRUE)
if(APP)
  check_tree(${APP} Marrowick "${APP_LAYERS}" FALSE)
endif()

if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "${text}")
endif()
