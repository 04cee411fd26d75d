# Cross toolchain: 64-bit Windows through mingw-w64.
set(ORV_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
