# The Windows DLL: Kestrel.dll (i686) or Kestrel64.dll (x86_64) from the library's objects.
# The .def file alone decides the export table (four names, ordinals 1-4); the version
# resource comes from windres; the C and C++ runtimes are linked in statically, so the DLL
# needs nothing beyond the system's own DLLs.
if(NOT KESTREL_DLL_NAME)
  set(KESTREL_DLL_NAME Kestrel64)
endif()
enable_language(RC)

add_library(kestrel_dll SHARED $<TARGET_OBJECTS:kestrel_objects>
  ${PROJECT_SOURCE_DIR}/packaging/kestrel.rc)
target_link_libraries(kestrel_dll PRIVATE kestrel_objects)
set_target_properties(kestrel_dll PROPERTIES OUTPUT_NAME ${KESTREL_DLL_NAME} PREFIX ""
  LINK_DEPENDS "${PROJECT_SOURCE_DIR}/packaging/Kestrel.def;${PROJECT_SOURCE_DIR}/packaging/Kestrel64.def")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Each .def entry names the stdcall-decorated symbol (name@argument-bytes). Without
  # stdcall fixup the link fails unless the function really is stdcall with that argument
  # size, so a wrong calling convention can never slip into the export table.
  target_link_options(kestrel_dll PRIVATE ${PROJECT_SOURCE_DIR}/packaging/Kestrel.def
    -Wl,--disable-stdcall-fixup)
else()
  target_link_options(kestrel_dll PRIVATE ${PROJECT_SOURCE_DIR}/packaging/Kestrel64.def)
endif()
# The DLL exports what the .def lists and nothing else: no automatic export of every symbol.
target_link_options(kestrel_dll PRIVATE -Wl,--exclude-all-symbols)

# Import libraries for hosts that link the DLL by name with kestrel.h: lib<DLL>.dll.a for
# MinGW and <DLL>.lib for MSVC-style linkers (see import_libs.py). CMake's own import library
# (from the linker) carries undecorated names that the header's stdcall declarations miss,
# so it goes to a side folder.
set_target_properties(kestrel_dll PROPERTIES ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/linker)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(KESTREL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(def ${PROJECT_SOURCE_DIR}/packaging/Kestrel.def)
  set(machine i386)
else()
  set(def ${PROJECT_SOURCE_DIR}/packaging/Kestrel64.def)
  set(machine i386:x86-64)
endif()
set(KESTREL_IMPORT_GNU ${PROJECT_BINARY_DIR}/lib${KESTREL_DLL_NAME}.dll.a)
set(KESTREL_IMPORT_MSVC ${PROJECT_BINARY_DIR}/${KESTREL_DLL_NAME}.lib)
add_custom_command(OUTPUT ${KESTREL_IMPORT_GNU} ${KESTREL_IMPORT_MSVC}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/packaging/import_libs.py ${def}
    ${KESTREL_DLL_NAME}.dll ${machine} ${CMAKE_DLLTOOL} ${KESTREL_LLVM_DLLTOOL} ${PROJECT_BINARY_DIR}
  DEPENDS ${def} ${PROJECT_SOURCE_DIR}/packaging/import_libs.py
  COMMENT "Import libraries of ${KESTREL_DLL_NAME}.dll")
add_custom_target(kestrel_import_libs ALL DEPENDS ${KESTREL_IMPORT_GNU} ${KESTREL_IMPORT_MSVC})

if(KESTREL_INSTALL)
  install(TARGETS kestrel_dll RUNTIME DESTINATION bin)
  install(FILES ${KESTREL_IMPORT_GNU} ${KESTREL_IMPORT_MSVC} DESTINATION lib)
  install(FILES ${PROJECT_SOURCE_DIR}/include/kestrel.h DESTINATION include)
endif()
