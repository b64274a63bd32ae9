# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
# A 32-bit maker's DLL may use stdcall: configure with
# -DVANDREL_CALLING_CONVENTION=__stdcall to match it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
