# Install rules and packages: where brdtest, brdcheck, the device library,
# the examples, the README and the manual pages go, and the CPack packages (a
# Debian package on Linux, a zip on Windows). Included at the end of the
# top-level CMakeLists.txt, when every program's target exists.
#
#   Linux (GNUInstallDirs)            Windows (the zip's root)
#   bin/brdtest, bin/brdcheck         brdtest.exe, brdcheck.exe
#   lib/libVANDREL.so                 VANDREL.dll, beside brdtest.exe
#   share/man/man1/brdtest.1, ...     manual/brdtest.1.html, ...
#   share/doc/brdtest/README.md       README.md
#   share/doc/brdtest/examples/       examples/
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/manual.cmake)

# brdtest_add_installed_copy(<program> <run path>) links <program> a second
# time as <program>_installed, into <build>/installed/, from the same sources,
# libraries and options, with the installed run path. CMake would otherwise
# write the installed run path into a copy of the build tree's program, and to
# make room for it, pad the build tree's run path with empty entries, which
# search the working directory: a copied brdtest would then load whatever
# libVANDREL.so lies in the folder it is started from.
function(brdtest_add_installed_copy program runpath)
  get_target_property(sources ${program} SOURCES)
  get_target_property(source_dir ${program} SOURCE_DIR)
  set(copy_sources "")
  foreach(source IN LISTS sources)
    if(IS_ABSOLUTE "${source}" OR source MATCHES "^\\$<")
      list(APPEND copy_sources "${source}")
    else()
      list(APPEND copy_sources "${source_dir}/${source}")
    endif()
  endforeach()
  add_executable(${program}_installed ${copy_sources})
  foreach(property IN ITEMS LINK_LIBRARIES INCLUDE_DIRECTORIES COMPILE_DEFINITIONS
                            COMPILE_OPTIONS LINK_OPTIONS)
    get_target_property(value ${program} ${property})
    if(value)
      set_property(TARGET ${program}_installed PROPERTY ${property} "${value}")
    endif()
  endforeach()
  set_target_properties(${program}_installed PROPERTIES
    OUTPUT_NAME ${program}
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/installed
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "${runpath}")
endfunction()

set(brdtest_programs brdtest)
if(TARGET brdcheck)
  list(APPEND brdtest_programs brdcheck)
  brdtest_add_windows_resources(brdcheck "Checker for brdtest scripts")
  # Like brdtest, it finds the device library beside itself in the build tree.
  set_target_properties(brdcheck PROPERTIES BUILD_RPATH_USE_ORIGIN ON)
endif()

if(WIN32)
  set(install_bin_dir .)
  set(install_doc_dir .)
  install(TARGETS ${brdtest_programs} RUNTIME DESTINATION ${install_bin_dir})
  # The DLL alone: its import library is of no use beside the programs, and
  # is installed only when the component Development is asked for.
  install(TARGETS VANDREL
    RUNTIME DESTINATION ${install_bin_dir}
    ARCHIVE DESTINATION lib COMPONENT Development EXCLUDE_FROM_ALL)
  if(BRDTEST_MANUAL_BUILT AND MANDOC_PROGRAM)
    foreach(page IN LISTS BRDTEST_MANUAL_PAGES)
      if(page STREQUAL "brdcheck.1" AND NOT TARGET brdcheck)
        continue()
      endif()
      install(FILES ${BRDTEST_MANUAL_DIR}/${page}.html DESTINATION manual)
    endforeach()
  endif()
else()
  set(install_bin_dir ${CMAKE_INSTALL_BINDIR})
  set(install_doc_dir ${CMAKE_INSTALL_DOCDIR})
  # Installed, the programs find the library in the library folder beside
  # their own, wherever the prefix is (bin/../lib). It is a RUNPATH, so
  # LD_LIBRARY_PATH still puts another library first.
  file(RELATIVE_PATH library_from_programs
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  foreach(program IN LISTS brdtest_programs)
    brdtest_add_installed_copy(${program} "$ORIGIN/${library_from_programs}")
    install(TARGETS ${program}_installed RUNTIME DESTINATION ${install_bin_dir})
  endforeach()
  install(TARGETS VANDREL LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  if(BRDTEST_MANUAL_BUILT)
    foreach(page IN LISTS BRDTEST_MANUAL_PAGES)
      if(page STREQUAL "brdcheck.1" AND NOT TARGET brdcheck)
        continue()
      endif()
      string(REGEX REPLACE ".*\\." "" section ${page})
      set(page_file ${BRDTEST_MANUAL_DIR}/${page})
      if(GZIP_PROGRAM)
        set(page_file ${page_file}.gz)
      endif()
      install(FILES ${page_file} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    endforeach()
  endif()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${install_doc_dir})
# The examples as they are in the source tree, without the capture files a
# run there leaves behind.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${install_doc_dir}/examples
  PATTERN "*.bin" EXCLUDE)

# ---- Packages ----------------------------------------------------------------
# cpack --config <build>/CPackConfig.cmake: the .deb on Linux, the zip on
# Windows (from the mingw64 build; the C and C++ runtimes are linked into the
# programs and the DLL, so the zip needs nothing else).
set(BRDTEST_PACKAGE_CONTACT "brdtest maintainers <brdtest@localhost>" CACHE STRING
  "Maintainer of the packages (the Debian package's Maintainer field)")
set(CPACK_PACKAGE_NAME brdtest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "brdtest")
set(CPACK_PACKAGE_CONTACT "${BRDTEST_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "console for exercising VANDREL devices through their device library")
set(CPACK_PACKAGE_DESCRIPTION
  "brdtest runs one-letter commands from standard input and script files against the device library libVANDREL.so: it opens, lists and closes devices, sets modules, high voltage and test output, sends command bytes and data blocks written in hex, and reads blocks into capture files. The package carries the stand-in device library, which simulates devices and traces every call.")
if(TARGET brdcheck)
  string(APPEND CPACK_PACKAGE_DESCRIPTION
    " brdcheck checks scripts for what the console will silently not do.")
endif()
# Programs and library without their debugging information.
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  set(CPACK_PACKAGE_FILE_NAME brdtest-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # The shared libraries the programs and the device library need, found by
  # dpkg-shlibdeps; libVANDREL.so is the package's own.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
endif()
include(CPack)

if(BUILD_TESTING)
  include(${PROJECT_SOURCE_DIR}/tests/packaging/packaging_tests.cmake)
endif()
