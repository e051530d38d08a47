# The Debian package: "cpack -G DEB" in the build tree makes kestrel_<version>_<arch>.deb with
# everything the install rules put down, under /usr. The version is the interface's (see
# install.cmake); dependencies come from dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${KESTREL_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kestrel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "zip archive library and command")
set(CPACK_PACKAGE_DESCRIPTION
  "Kestrel packs a file or a directory tree into a zip archive and unpacks\n"
  "one again. It reads stored, shrunk, reduced, imploded and deflated\n"
  "entries and writes Deflate. This package holds the kestrel command, the\n"
  "shared and static library, the C header, pkg-config and CMake files,\n"
  "manual pages and bash completion.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Kestrel developers <kestrel@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shlibs file tells dpkg-shlibdeps of other packages what libkestrel.so.1 needs; the
# loader cache is refreshed by dpkg's ldconfig trigger rather than by maintainer scripts.
file(WRITE ${PROJECT_BINARY_DIR}/debian/shlibs
  "libkestrel 1 kestrel (>= ${KESTREL_PACKAGE_VERSION})\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/shlibs
  ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian wants its copyright file and a compressed changelog in the package's doc folder.
set(KESTREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestrel)
execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz
  DESTINATION ${KESTREL_DOC_DIR})
include(CPack)
