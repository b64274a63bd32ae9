# Adds the Windows builds to a native test run when mingw-w64 and wine are
# installed, and says clearly when they are not.
option(BRDTEST_WINDOWS_TESTS "Build for Windows and run its tests under wine, when mingw-w64 and wine are installed" ON)

find_program(MINGW64_CXX x86_64-w64-mingw32-g++)
find_program(MINGW32_CXX i686-w64-mingw32-g++)
find_program(WINE64_PROGRAM NAMES wine64 PATHS /usr/lib/wine)

if(NOT BRDTEST_WINDOWS_TESTS)
  return()
endif()

set(windows_missing "")
if(NOT MINGW64_CXX)
  list(APPEND windows_missing x86_64-w64-mingw32-g++)
endif()
if(NOT MINGW32_CXX)
  list(APPEND windows_missing i686-w64-mingw32-g++)
endif()
if(NOT WINE64_PROGRAM)
  list(APPEND windows_missing wine64)
endif()

if(windows_missing)
  set(skip_message "SKIPPED: Windows tests need g++-mingw-w64-x86-64, g++-mingw-w64-i686 and wine64 (not found: ${windows_missing})")
  message(WARNING "${skip_message}")
  add_test(NAME windows.skipped COMMAND ${CMAKE_COMMAND} -E echo "${skip_message}")
  set_tests_properties(windows.skipped PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED")
  return()
endif()

add_test(NAME windows.x64_under_wine
  COMMAND ${CMAKE_COMMAND} --workflow --preset mingw64
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
add_test(NAME windows.x86_stdcall_links
  COMMAND ${CMAKE_COMMAND} --workflow --preset mingw32
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(windows.x64_under_wine windows.x86_stdcall_links PROPERTIES
  TIMEOUT 1800 RESOURCE_LOCK windows_builds)

# The 32-bit programs' version resource and manifest, read with objdump from
# the mingw32 build: they are built and inspected, not run.
find_program(MINGW32_OBJDUMP i686-w64-mingw32-objdump)
if(MINGW32_OBJDUMP)
  set(x86_programs ${PROJECT_SOURCE_DIR}/build/mingw32/brdtest.exe)
  if(TARGET brdcheck)
    list(APPEND x86_programs ${PROJECT_SOURCE_DIR}/build/mingw32/brdcheck.exe)
  endif()
  add_test(NAME windows.x86_resources
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/packaging/check_packaging.py
            resources --objdump ${MINGW32_OBJDUMP} --version ${PROJECT_VERSION} ${x86_programs})
  set_tests_properties(windows.x86_resources PROPERTIES DEPENDS windows.x86_stdcall_links)
endif()

# A session recorded on Linux replays under wine, and one recorded under wine
# replays on Linux.
add_test(NAME windows.replay_across_platforms
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/replay_across_platforms.py
          --linux $<TARGET_FILE:brdtest> --windows ${PROJECT_SOURCE_DIR}/build/mingw64/brdtest.exe
          --wine ${WINE64_PROGRAM})
set_tests_properties(windows.replay_across_platforms PROPERTIES DEPENDS windows.x64_under_wine)
