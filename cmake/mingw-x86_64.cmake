# The same tree built for 64-bit Windows: only for running the tests under
# 64-bit Wine on a machine whose kernel runs no 32-bit code. What we ship is
# the i686 build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QV_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
