# Installing the component library for other programs: headers, libraries,
# a CMake package (find_package(Nds CONFIG)) and pkg-config files.
include(CMakePackageConfigHelpers)

set(NDS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Nds)

install(TARGETS nce_shared dataset nds EXPORT NdsTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The engine's C interface: nce.h and the headers it includes (nce_*.h);
# script.h is for the engine's own tools.
file(GLOB nce_headers ${PROJECT_SOURCE_DIR}/engine/include/nce/nce*.h)
install(FILES ${nce_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/nce)
# The layers include each other as "dataset/x.h" and "nds/x.h".
foreach(layer dataset nds)
  # Re-globbed at every build, so a new header is installed without a
  # fresh configure.
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${layer}/*.h)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${layer})
endforeach()

install(EXPORT NdsTargets NAMESPACE Nds:: DESTINATION ${NDS_CMAKE_DIR})

# The Qt table model, built with the Qt programs, is a component of its own
# (find_package(Nds COMPONENTS qtmodel)): only programs that ask for it need
# Qt to find the package.
if(TARGET nds_qtmodel)
  install(TARGETS nds_qtmodel EXPORT NdsQtModelTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  file(GLOB headers ${PROJECT_SOURCE_DIR}/qtmodel/*.h)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qtmodel)
  install(EXPORT NdsQtModelTargets NAMESPACE Nds:: DESTINATION ${NDS_CMAKE_DIR})
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/NdsConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/NdsConfig.cmake
                              INSTALL_DESTINATION ${NDS_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/NdsConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/NdsConfig.cmake ${PROJECT_BINARY_DIR}/NdsConfigVersion.cmake
        DESTINATION ${NDS_CMAKE_DIR})

file(RELATIVE_PATH NDS_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" NDS_PC_PREFIX "${NDS_PC_PREFIX}")
set(pc_files nce nds)
# The Qt model's file where the model is built: it requires Qt6Core.
if(TARGET nds_qtmodel)
  list(APPEND pc_files nds-qtmodel)
endif()
foreach(pc ${pc_files})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
