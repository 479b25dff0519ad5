# Fails when any source outside engine/storage/postgres/ includes libpq: the
# PostgreSQL session is the one place that speaks to the server's library.
# Benchmarks may, as their anchors are libpq's own loops.
# Run as: cmake -DSOURCE_DIR=<source tree> -P check_libpq_use.cmake
set(faults "")
foreach(folder engine dataset nds app tools qtmodel browser fuzz)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    if(file MATCHES "/engine/storage/postgres/")
      continue()
    endif()
    file(STRINGS ${file} includes REGEX "^#include [<\"](libpq-fe|libpq/|pg_config)")
    if(includes)
      file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
      string(APPEND faults "  ${name}: ${includes}\n")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "libpq used outside the PostgreSQL session:\n${faults}")
endif()
