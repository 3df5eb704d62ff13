# Cross-compiles the 32-bit Windows program, its libraries, tools and tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QV_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
