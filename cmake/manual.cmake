# The manual pages: scdoc sources in man/ turned into roff in the build tree
# (<build>/man/brdtest.1, ...), compressed for installing on Linux
# (<build>/man/brdtest.1.gz) and, for the Windows zip, into HTML with mandoc
# (<build>/man/brdtest.1.html, ...). Without scdoc the pages are not built and
# not installed, and their lint test is skipped.
#
# Sets BRDTEST_MANUAL_PAGES (page names such as brdtest.1),
# BRDTEST_MANUAL_DIR (where they are built) and BRDTEST_MANUAL_BUILT.
find_program(SCDOC_PROGRAM scdoc)
find_program(MANDOC_PROGRAM mandoc)
find_program(GZIP_PROGRAM gzip)

set(BRDTEST_MANUAL_PAGES brdtest.1 brdcheck.1 vandrel.7)
set(BRDTEST_MANUAL_DIR ${PROJECT_BINARY_DIR}/man)
set(BRDTEST_MANUAL_BUILT OFF)

if(NOT SCDOC_PROGRAM)
  message(WARNING "scdoc not found: the manual pages are neither built nor installed (Debian: apt-get install scdoc)")
  return()
endif()
set(BRDTEST_MANUAL_BUILT ON)

# Runs a page through tool with arguments into <page>.<suffix>, adding it to
# manual_outputs.
macro(filter_manual_page page suffix tool arguments what)
  add_custom_command(OUTPUT ${BRDTEST_MANUAL_DIR}/${page}.${suffix}
    COMMAND ${CMAKE_COMMAND} -DTOOL=${tool} "-DARGS=${arguments}"
            -DINPUT=${BRDTEST_MANUAL_DIR}/${page} -DOUTPUT=${BRDTEST_MANUAL_DIR}/${page}.${suffix}
            -P ${PROJECT_SOURCE_DIR}/cmake/filter_file.cmake
    DEPENDS ${BRDTEST_MANUAL_DIR}/${page} ${PROJECT_SOURCE_DIR}/cmake/filter_file.cmake
    COMMENT "Manual page ${page} ${what}"
    VERBATIM)
  list(APPEND manual_outputs ${BRDTEST_MANUAL_DIR}/${page}.${suffix})
endmacro()

file(MAKE_DIRECTORY ${BRDTEST_MANUAL_DIR})
set(manual_outputs "")
foreach(page IN LISTS BRDTEST_MANUAL_PAGES)
  set(source ${PROJECT_SOURCE_DIR}/man/${page}.scd)
  add_custom_command(OUTPUT ${BRDTEST_MANUAL_DIR}/${page}
    COMMAND ${CMAKE_COMMAND} -DSCDOC=${SCDOC_PROGRAM}
            -DINPUT=${source} -DOUTPUT=${BRDTEST_MANUAL_DIR}/${page}
            -P ${PROJECT_SOURCE_DIR}/cmake/scdoc_page.cmake
    DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/scdoc_page.cmake
    COMMENT "Manual page ${page}"
    VERBATIM)
  list(APPEND manual_outputs ${BRDTEST_MANUAL_DIR}/${page})
  # Installed compressed, as Debian's policy asks (gzip -9n: no name, no
  # time, so the package's bytes repeat); man reads either.
  if(NOT WIN32 AND GZIP_PROGRAM)
    filter_manual_page(${page} gz ${GZIP_PROGRAM} "-9n" "compressed")
  endif()
  # Windows has no man: the zip carries the pages as HTML, linked to each
  # other (brdcheck.1.html beside brdtest.1.html).
  if(WIN32 AND MANDOC_PROGRAM)
    filter_manual_page(${page} html ${MANDOC_PROGRAM} "-Thtml;-Oman=%N.%S.html" "as HTML")
  endif()
endforeach()
if(WIN32 AND NOT MANDOC_PROGRAM)
  message(WARNING "mandoc not found: the Windows zip carries no manual (Debian: apt-get install mandoc)")
endif()
add_custom_target(manual ALL DEPENDS ${manual_outputs})
