# Installs the build in BUILD_DIR into a scratch prefix, then builds the
# example program of SOURCE_DIR/examples/list_rows against it twice (CMake
# package, pkg-config) and runs a create, an insert and a select with each.
# Then it shows a table through the installed Qt model (examples/model_rows,
# through the CMake package and through pkg-config) and runs the self-check of a form over it (examples/qt_form), where the
# build made the model. Last it builds examples/tour, the guide's code,
# and checks what it prints.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(scratch ${BUILD_DIR}/package-check)
file(REMOVE_RECURSE ${scratch})
set(prefix ${scratch}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The engine library carries its version: libnce.so.1 is its SONAME.
file(GLOB libdirs ${prefix}/lib*)
list(GET libdirs 0 libdir)
run(readelf -d ${libdir}/libnce.so)
if(NOT run_output MATCHES "SONAME\\) +Library soname: \\[libnce\\.so\\.1\\]")
  message(FATAL_ERROR "libnce.so has no versioned SONAME:\n${run_output}")
endif()

# Through find_package(Nds CONFIG).
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/list_rows -B ${scratch}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX})
run(${CMAKE_COMMAND} --build ${scratch}/cmake-build)

# Through pkg-config.
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
run(pkg-config --cflags --libs nds)
string(STRIP "${run_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CXX} ${SOURCE_DIR}/examples/list_rows/main.cpp ${flags} -o ${scratch}/list_rows_pc)

set(ENV{LD_LIBRARY_PATH} ${libdir})
foreach(program ${scratch}/cmake-build/list_rows ${scratch}/list_rows_pc)
  file(REMOVE_RECURSE ${scratch}/db)
  file(MAKE_DIRECTORY ${scratch}/db)
  run(${program} ${scratch}/db "create table t (id integer, name char(10))")
  run(${program} ${scratch}/db "insert into t (id, name) values (7, 'seven')")
  run(${program} ${scratch}/db "select id, name from t")
  if(NOT run_output STREQUAL "7\tseven\n")
    message(FATAL_ERROR "${program} read back '${run_output}'")
  endif()
endforeach()

# The Qt table model through find_package(Nds COMPONENTS qtmodel), where the
# build made it.
if(EXISTS ${prefix}/include/qtmodel/dataset_model.h)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/model_rows -B ${scratch}/model-build
      -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX})
  run(${CMAKE_COMMAND} --build ${scratch}/model-build)
  file(REMOVE_RECURSE ${scratch}/db)
  file(MAKE_DIRECTORY ${scratch}/db)
  run(${scratch}/cmake-build/list_rows ${scratch}/db "create table t (id integer, name char(10))")
  run(${scratch}/cmake-build/list_rows ${scratch}/db
      "insert into t (id, name) values (7, 'seven'), (8, 'eight')")
  # The same program through pkg-config (nds-qtmodel brings nds and Qt6Core).
  run(pkg-config --cflags --libs nds-qtmodel)
  string(STRIP "${run_output}" model_flags)
  separate_arguments(model_flags UNIX_COMMAND "${model_flags}")
  run(${CXX} ${SOURCE_DIR}/examples/model_rows/main.cpp ${model_flags} -o ${scratch}/model_rows_pc)
  foreach(program ${scratch}/model-build/model_rows ${scratch}/model_rows_pc)
    run(${program} ${scratch}/db "select id, name from t")
    if(NOT run_output STREQUAL "id\tname\n7\tseven\n8\teight\n")
      message(FATAL_ERROR "${program}: the model showed:\n${run_output}")
    endif()
  endforeach()

  # A grid and a form over one table (examples/qt_form): its self-check
  # drives the buttons and the form's editors on Qt's offscreen platform
  # and fails unless every step reads back as expected.
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/qt_form -B ${scratch}/form-build
      -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX})
  run(${CMAKE_COMMAND} --build ${scratch}/form-build)
  set(ENV{QT_QPA_PLATFORM} offscreen)
  run(${scratch}/form-build/qt_form --check)
  if(NOT run_output MATCHES "all steps passed\n$")
    message(FATAL_ERROR "the form's self-check printed:\n${run_output}")
  endif()
endif()

# The guide's walk: every step's result, in order.
run(${CXX} ${SOURCE_DIR}/examples/tour/main.cpp ${flags} -o ${scratch}/tour)
file(REMOVE_RECURSE ${scratch}/db)
file(MAKE_DIRECTORY ${scratch}/db)
run(${scratch}/tour ${scratch}/db)
string(CONCAT expected
  "crew 8 and more: 3 4 5 6\n3 rows changed\nfirst city Paris, 6 records\n"
  "crews after the rollback: 1 7 10 9 8 11\nlegs of crew 9 by parameter: 4\n"
  "legs of crew 9 by range: 4\nfiltered: 2 5 4\ncodes B to C30: 1 5 3\nfound 1\n"
  "record 4 of crew 9 is in Rome\nrefused with 5100\nstill filtered: 2 4 5\n")
if(NOT run_output STREQUAL expected)
  message(FATAL_ERROR "the tour printed:\n${run_output}")
endif()
