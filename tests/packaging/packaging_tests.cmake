# Tests of what users get, run by tests/packaging/check_packaging.py with the
# real tools: the build tree's run path, a copied brdtest, cmake --install into
# a scratch prefix, the Debian package unpacked into a scratch root, the zip
# unpacked and run under wine, the Windows resources, and the manual pages'
# lint. Included by cmake/install.cmake, which sets brdtest_programs and the
# install folders; each test works in <build>/packaging-tests/<its name>.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(check_packaging ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/packaging/check_packaging.py)
set(packaging_scratch ${PROJECT_BINARY_DIR}/packaging-tests)

function(add_packaging_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES
    SKIP_RETURN_CODE 77
    FIXTURES_REQUIRED emulator_ready
    ENVIRONMENT WINEDEBUG=-all
    TIMEOUT 600)
endfunction()

# What an install holds, relative to its root.
set(installed_files "")
set(manual_pages_installed ${BRDTEST_MANUAL_PAGES})
if(NOT TARGET brdcheck)
  list(REMOVE_ITEM manual_pages_installed brdcheck.1)
endif()
if(WIN32)
  foreach(program IN LISTS brdtest_programs)
    list(APPEND installed_files ${program}.exe)
  endforeach()
  list(APPEND installed_files VANDREL.dll README.md examples/demo.txt)
  if(BRDTEST_MANUAL_BUILT AND MANDOC_PROGRAM)
    foreach(page IN LISTS manual_pages_installed)
      list(APPEND installed_files manual/${page}.html)
    endforeach()
  endif()
  set(installed_program brdtest.exe)
  set(installed_examples examples)
else()
  foreach(program IN LISTS brdtest_programs)
    list(APPEND installed_files ${CMAKE_INSTALL_BINDIR}/${program})
  endforeach()
  list(APPEND installed_files
    ${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:VANDREL>
    ${CMAKE_INSTALL_DOCDIR}/README.md
    ${CMAKE_INSTALL_DOCDIR}/examples/demo.txt)
  if(BRDTEST_MANUAL_BUILT)
    foreach(page IN LISTS manual_pages_installed)
      string(REGEX REPLACE ".*\\." "" section ${page})
      if(GZIP_PROGRAM)
        list(APPEND installed_files ${CMAKE_INSTALL_MANDIR}/man${section}/${page}.gz)
      else()
        list(APPEND installed_files ${CMAKE_INSTALL_MANDIR}/man${section}/${page})
      endif()
    endforeach()
  endif()
  set(installed_program ${CMAKE_INSTALL_BINDIR}/brdtest)
  set(installed_examples ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

set(emulator_option "")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(emulator_option "--emulator=${CMAKE_CROSSCOMPILING_EMULATOR}")
endif()

if(WIN32)
  add_packaging_test(install.into_prefix_runs_the_example
    ${check_packaging} install --cmake ${CMAKE_COMMAND} --build-dir ${PROJECT_BINARY_DIR}
      --scratch ${packaging_scratch}/install --platform windows ${emulator_option}
      --program ${installed_program} --examples ${installed_examples}
      --version ${PROJECT_VERSION} --expect ${installed_files})

  # The zip (64-bit only: 32-bit programs cannot run on these machines).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_packaging_test(package.zip_runs_under_wine
      ${check_packaging} zip --cmake ${CMAKE_COMMAND} --cpack ${CMAKE_CPACK_COMMAND}
        --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake --objdump ${CMAKE_OBJDUMP}
        ${emulator_option} --scratch ${packaging_scratch}/zip
        --program ${installed_program} --examples ${installed_examples}
        --version ${PROJECT_VERSION} --expect ${installed_files})
  endif()

  set(program_files "")
  foreach(program IN LISTS brdtest_programs)
    list(APPEND program_files $<TARGET_FILE:${program}>)
  endforeach()
  add_packaging_test(windows_resources.version_and_long_paths
    ${check_packaging} resources --objdump ${CMAKE_OBJDUMP} --version ${PROJECT_VERSION}
      ${program_files})
else()
  find_program(READELF_PROGRAM readelf)
  add_packaging_test(install.build_tree_runpath_is_origin_alone
    ${check_packaging} runpath --readelf ${READELF_PROGRAM} --binary $<TARGET_FILE:brdtest>
      --expect "$ORIGIN")
  add_packaging_test(install.copied_console_needs_its_library
    ${check_packaging} copied-console --console $<TARGET_FILE:brdtest>
      --library $<TARGET_FILE:VANDREL> --scratch ${packaging_scratch}/copied)

  set(other_library_option "")
  if(TARGET null_device)
    set(other_library_option --other-library $<TARGET_FILE_DIR:null_device>)
  endif()
  add_packaging_test(install.into_prefix_runs_the_example
    ${check_packaging} install --cmake ${CMAKE_COMMAND} --build-dir ${PROJECT_BINARY_DIR}
      --scratch ${packaging_scratch}/install
      --program ${installed_program} --examples ${installed_examples}
      --version ${PROJECT_VERSION}
      --readelf ${READELF_PROGRAM} --runpath "$ORIGIN/${library_from_programs}"
      ${other_library_option} --expect ${installed_files})

  set(package_files "")
  foreach(file IN LISTS installed_files)
    list(APPEND package_files usr/${file})
  endforeach()
  set(man_options "")
  if(BRDTEST_MANUAL_BUILT)
    list(APPEND man_options --man 1 brdtest "brdtest - console" --man 7 vandrel "VANDREL_TRACE")
    if(TARGET brdcheck)
      list(APPEND man_options --man 1 brdcheck "brdcheck - find")
    endif()
  endif()
  add_packaging_test(package.deb_unpacked_runs_and_shows_its_manual
    ${check_packaging} deb --cpack ${CMAKE_CPACK_COMMAND}
      --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake --scratch ${packaging_scratch}/deb
      --program usr/${installed_program} --examples usr/${installed_examples}
      --version ${PROJECT_VERSION} --expect ${package_files} ${man_options})

  # The manual pages, linted natively (they are the same pages on Windows).
  foreach(page IN LISTS BRDTEST_MANUAL_PAGES)
    set(page_file "")
    if(BRDTEST_MANUAL_BUILT)
      set(page_file ${BRDTEST_MANUAL_DIR}/${page})
    endif()
    add_packaging_test(manual.lint.${page}
      ${check_packaging} manual --mandoc "${MANDOC_PROGRAM}" --page "${page_file}")
  endforeach()
endif()
