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
