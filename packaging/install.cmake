# Install rules of the Linux build: shared and static library, header, command, CMake package
# (usable from the build tree too), pkg-config file, man pages, bash completion, licence.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
set(KESTREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)
# Packages carry the version of the interface they install (kestrel.h's macros, which
# kestrel_version() reports); the DLL's file version of the four functions stays apart.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/kestrel.h KESTREL_PACKAGE_VERSION
  REGEX "^#define KESTREL_VERSION_STRING ")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" KESTREL_PACKAGE_VERSION "${KESTREL_PACKAGE_VERSION}")

# The installed static library, libkestrel.a: the same objects as the internal kestrel_static,
# but carrying only the public header's include directory.
add_library(kestrel_static_public STATIC $<TARGET_OBJECTS:kestrel_objects>)
target_include_directories(kestrel_static_public INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:include>)
set_target_properties(kestrel_static_public PROPERTIES OUTPUT_NAME kestrel
  EXPORT_NAME kestrel_static LINKER_LANGUAGE CXX)

install(TARGETS kestrel kestrel_static_public EXPORT kestrelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kestrel.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS kestrel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# find_package(kestrel): kestrel::kestrel (shared) and kestrel::kestrel_static, from the
# install tree, or from this build tree with kestrel_DIR pointing at it.
install(EXPORT kestrelTargets NAMESPACE kestrel:: DESTINATION ${KESTREL_CMAKE_DIR})
export(EXPORT kestrelTargets NAMESPACE kestrel::
  FILE ${PROJECT_BINARY_DIR}/kestrelTargets.cmake)
file(WRITE ${PROJECT_BINARY_DIR}/kestrelConfig.cmake
  "include(\${CMAKE_CURRENT_LIST_DIR}/kestrelTargets.cmake)\n")
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake
  VERSION ${KESTREL_PACKAGE_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kestrelConfig.cmake
  ${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake DESTINATION ${KESTREL_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so a moved or unpacked tree still works.
set(KESTREL_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH KESTREL_PC_TO_PREFIX /prefix/${KESTREL_PC_DIR} /prefix)
configure_file(${PROJECT_SOURCE_DIR}/packaging/kestrel.pc.in ${PROJECT_BINARY_DIR}/kestrel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestrel.pc DESTINATION ${KESTREL_PC_DIR})

install(FILES ${PROJECT_SOURCE_DIR}/man/kestrel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/man/kestrel.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
install(FILES ${PROJECT_SOURCE_DIR}/completion/kestrel
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
