# The Windows DLL: exports by name through the .def file, version resource through windres.
if(NOT KESTREL_DLL_NAME)
  set(KESTREL_DLL_NAME Kestrel64)
endif()
enable_language(RC)
add_library(kestrel_dll SHARED $<TARGET_OBJECTS:kestrel_objects>
  ${PROJECT_SOURCE_DIR}/packaging/kestrel.rc)
target_link_libraries(kestrel_dll PRIVATE kestrel_objects)
set_target_properties(kestrel_dll PROPERTIES OUTPUT_NAME ${KESTREL_DLL_NAME} PREFIX "")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(kestrel_dll PRIVATE ${PROJECT_SOURCE_DIR}/packaging/Kestrel.def -Wl,--enable-stdcall-fixup)
else()
  target_link_options(kestrel_dll PRIVATE ${PROJECT_SOURCE_DIR}/packaging/Kestrel64.def)
endif()
