# Windows resources of the programs: a version resource from the project
# version and an application manifest that allows long paths. Compiled with
# the toolchain's windres (CMAKE_RC_COMPILER). Does nothing on other platforms.
#
# brdtest_add_windows_resources(<target> <description>) adds them to an
# executable target once; a second call for the same target does nothing.
if(WIN32)
  enable_language(RC)
endif()

function(brdtest_add_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(done ${target} BRDTEST_WINDOWS_RESOURCES)
  if(done)
    return()
  endif()
  set(program_name ${target})
  set(program_description "${description}")
  # The version resource takes four numbers; absent parts are 0.
  set(program_version_minor 0)
  set(program_version_patch 0)
  if(NOT "${PROJECT_VERSION_MINOR}" STREQUAL "")
    set(program_version_minor ${PROJECT_VERSION_MINOR})
  endif()
  if(NOT "${PROJECT_VERSION_PATCH}" STREQUAL "")
    set(program_version_patch ${PROJECT_VERSION_PATCH})
  endif()
  set(program_manifest ${PROJECT_SOURCE_DIR}/cmake/windows/long_paths.manifest)
  set(rc_file ${PROJECT_BINARY_DIR}/generated/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/program.rc.in ${rc_file} @ONLY)
  target_sources(${target} PRIVATE ${rc_file})
  set_source_files_properties(${rc_file} TARGET_DIRECTORY ${target} PROPERTIES
    OBJECT_DEPENDS ${program_manifest})
  set_target_properties(${target} PROPERTIES BRDTEST_WINDOWS_RESOURCES ON)
endfunction()
