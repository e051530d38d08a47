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
# A stripped install (cmake --install --strip, or the Debian package) leaves the static
# library's debugging sections out too, as it does for the shared one.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/libkestrel.a\")
endif()")

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

# Manual pages go in compressed, as man reads them and Debian wants them.
foreach(section 1 3)
  set(page ${PROJECT_SOURCE_DIR}/man/kestrel.${section})
  execute_process(COMMAND gzip -9nc ${page} OUTPUT_FILE ${PROJECT_BINARY_DIR}/kestrel.${section}.gz
    COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
  install(FILES ${PROJECT_BINARY_DIR}/kestrel.${section}.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/completion/kestrel
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
