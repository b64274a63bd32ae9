# An import library for a 32-bit stdcall VANDREL.dll that exports plain names
# (BrdInitDevice rather than BrdInitDevice@8), made with dlltool -k from
# devlib/VANDREL-stdcall.def. Defines the target vandrel_stdcall_import.
find_program(MINGW_DLLTOOL NAMES ${MINGW_TRIPLET}-dlltool dlltool REQUIRED)
set(stdcall_def ${PROJECT_SOURCE_DIR}/devlib/VANDREL-stdcall.def)
set(stdcall_import ${PROJECT_BINARY_DIR}/libVANDREL-stdcall.a)
add_custom_command(OUTPUT ${stdcall_import}
  COMMAND ${MINGW_DLLTOOL} -k -d ${stdcall_def} -D VANDREL.dll -l ${stdcall_import}
  DEPENDS ${stdcall_def}
  COMMENT "Import library for a stdcall VANDREL.dll")
add_custom_target(vandrel_stdcall_import_file DEPENDS ${stdcall_import})
add_library(vandrel_stdcall_import INTERFACE)
target_link_libraries(vandrel_stdcall_import INTERFACE ${stdcall_import})
add_dependencies(vandrel_stdcall_import vandrel_stdcall_import_file)
