# Cross toolchain: 32-bit Windows through mingw-w64.
set(ORV_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
