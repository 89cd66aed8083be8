# Headers keep their folder layout under include/qxregres600r so that the library's own
# "common/X.h" style includes resolve in the installed tree exactly as in the source tree.
include(CMakePackageConfigHelpers)

foreach(folder common settings records design links model linear logistic factory inference marginals export)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder}/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qxregres600r/${folder}
          FILES_MATCHING PATTERN "*.h")
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/include/qxregres600r.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qxregres600r)

install(TARGETS qxcommon600r qxregres600r EXPORT qxregres600rTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The front end's static library with the headers of its API: QXFrontEnd.h and the types it exposes,
# not the tool's internals (readers, writers, the command line) that the archive carries compiled.
if(TARGET qxfrontend600r)
  install(FILES
            ${PROJECT_SOURCE_DIR}/frontend/CommandLine.h
            ${PROJECT_SOURCE_DIR}/frontend/EmmeansRequest.h
            ${PROJECT_SOURCE_DIR}/frontend/EmmeansResult.h
            ${PROJECT_SOURCE_DIR}/frontend/FitResult.h
            ${PROJECT_SOURCE_DIR}/frontend/LogisticResult.h
            ${PROJECT_SOURCE_DIR}/frontend/MemoryColumns.h
            ${PROJECT_SOURCE_DIR}/frontend/QXFrontEnd.h
            ${PROJECT_SOURCE_DIR}/frontend/RowSource.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qxregres600r/frontend)
  install(TARGETS qxfrontend600r EXPORT qxregres600rTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(EXPORT qxregres600rTargets NAMESPACE qxregres600r::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qxregres600r)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/qxregres600rConfig.cmake.in
  ${PROJECT_BINARY_DIR}/qxregres600rConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qxregres600r)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qxregres600rConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qxregres600rConfig.cmake
              ${PROJECT_BINARY_DIR}/qxregres600rConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/qxregres600r)

# The pkg-config file finds its prefix from its own location, so the installed tree can move.
file(RELATIVE_PATH QX_PC_TO_PREFIX "/qx/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/qx")
configure_file(${PROJECT_SOURCE_DIR}/cmake/qxregres600r.pc.in
               ${PROJECT_BINARY_DIR}/qxregres600r.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qxregres600r.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(TARGET qxfrontend600r)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/qxfrontend600r.pc.in
                 ${PROJECT_BINARY_DIR}/qxfrontend600r.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/qxfrontend600r.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()
