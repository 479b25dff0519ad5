# Fails when a file of the engine includes a header of a layer above its own,
# when a file outside storage/ includes a header of storage/postgres/ (the
# server's store is chosen when a connection opens, and is private to storage),
# when a file of a layer kept free of SQLite names it or reaches <sqlite3.h>
# through the engine headers it includes, or when a product
# folder beside the engine (the components, the utility, the tools) includes
# any engine header but the public interface (nce/...).
# Run as: cmake -DENGINE_DIR=<engine folder> -P check_layers.cmake
# The layers, bottom to top; a file may include its own layer and those
# before it. Keep in step with engine/CMakeLists.txt and docs/ARCHITECTURE.md.
set(layers base schema record expr storage dictionary cursor index sql interchange api testing)
# The layers that must not name SQLite: no <sqlite3.h>, no sqlite3 handle or
# sqlite3_ function, no SQLITE_ constant, no SqliteStmt. They read stored data
# through views the stores make. Each step that moves a layer's SQLite uses
# into engine/storage/ adds the layer here.
set(layers_without_sqlite base schema record expr dictionary cursor index sql interchange api
                         testing)

# Sets `result` to the engine header through which `file` reaches
# <sqlite3.h>, following the engine's own includes (each header once);
# empty when it reaches none. A file that includes <sqlite3.h> itself is
# reported as naming SQLite instead.
function(sqlite_reached_through file result)
  set(pending ${file})
  set(seen "")
  set(found "")
  while(pending AND NOT found)
    list(POP_FRONT pending current)
    list(FIND seen ${current} known)
    if(NOT known EQUAL -1)
      continue()
    endif()
    list(APPEND seen ${current})
    file(STRINGS ${current} includes REGEX "^#include (<sqlite3\\.h>|\"engine/[a-z_/]+\\.h\")")
    foreach(line IN LISTS includes)
      if(line MATCHES "<sqlite3\\.h>")
        if(NOT current STREQUAL file)
          file(RELATIVE_PATH found ${ENGINE_DIR} ${current})
          break()
        endif()
      else()
        string(REGEX REPLACE "^#include \"engine/([a-z_/]+\\.h)\"" "\\1" header "${line}")
        if(EXISTS ${ENGINE_DIR}/${header})
          list(APPEND pending ${ENGINE_DIR}/${header})
        endif()
      endif()
    endforeach()
  endwhile()
  set(${result} "${found}" PARENT_SCOPE)
endfunction()

set(faults "")
foreach(layer IN LISTS layers)
  list(FIND layers ${layer} rank)
  file(GLOB files ${ENGINE_DIR}/${layer}/*.h ${ENGINE_DIR}/${layer}/*.cpp
       ${ENGINE_DIR}/${layer}/*/*.h ${ENGINE_DIR}/${layer}/*/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"engine/[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"engine/([a-z_]+)/.*" "\\1" target "${line}")
      list(FIND layers ${target} target_rank)
      if(target_rank EQUAL -1 OR target_rank GREATER rank)
        file(RELATIVE_PATH name ${ENGINE_DIR} ${file})
        string(APPEND faults "  ${name}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
foreach(layer IN LISTS layers)
  if(layer STREQUAL "storage")
    continue()
  endif()
  file(GLOB files ${ENGINE_DIR}/${layer}/*.h ${ENGINE_DIR}/${layer}/*.cpp
       ${ENGINE_DIR}/${layer}/*/*.h ${ENGINE_DIR}/${layer}/*/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"engine/storage/postgres/")
    foreach(line IN LISTS includes)
      file(RELATIVE_PATH name ${ENGINE_DIR} ${file})
      string(APPEND faults "  ${name} reaches the server's store, private to storage/: ${line}\n")
    endforeach()
  endforeach()
endforeach()
foreach(layer IN LISTS layers_without_sqlite)
  file(GLOB files ${ENGINE_DIR}/${layer}/*.h ${ENGINE_DIR}/${layer}/*.cpp
       ${ENGINE_DIR}/${layer}/*/*.h ${ENGINE_DIR}/${layer}/*/*.cpp)
  foreach(file IN LISTS files)
    file(RELATIVE_PATH name ${ENGINE_DIR} ${file})
    file(STRINGS ${file} uses REGEX "sqlite3|SQLITE_|SqliteStmt")
    foreach(line IN LISTS uses)
      string(APPEND faults "  ${name} names SQLite: ${line}\n")
    endforeach()
    sqlite_reached_through(${file} through)
    if(through)
      string(APPEND faults "  ${name} reaches <sqlite3.h> through ${through}\n")
    endif()
  endforeach()
endforeach()
foreach(folder dataset nds app tools)
  file(GLOB_RECURSE files ${ENGINE_DIR}/../${folder}/*.h ${ENGINE_DIR}/../${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"engine/")
    foreach(line IN LISTS includes)
      get_filename_component(name ${file} NAME)
      string(APPEND faults "  ${folder}/.../${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Includes or uses that cross the engine's layers or its boundary:\n${faults}")
endif()
