# Install rules: the shared library, its header, the command, a CMake package and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
install(TARGETS kestrel EXPORT kestrelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kestrel.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS kestrel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT kestrelTargets NAMESPACE kestrel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/kestrelConfig.cmake
  "include(\${CMAKE_CURRENT_LIST_DIR}/kestrelTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kestrelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kestrelConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/kestrelConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)
configure_file(${PROJECT_SOURCE_DIR}/packaging/kestrel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/kestrel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kestrel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
