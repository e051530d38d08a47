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
