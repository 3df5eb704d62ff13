# Cross-compiles the programs we ship (QVSetup.exe, qvcheck.exe, the sample
# product) for the oldest Windows they serve.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-shipped.cmake)
