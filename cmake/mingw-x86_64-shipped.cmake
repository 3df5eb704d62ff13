# The shipped programs' settings for 64-bit Windows: the programs the window
# and end-to-end tests run where the tests are built for x86_64.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-shipped.cmake)
