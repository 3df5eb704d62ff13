# Test helpers shared by every test folder.
#
# qv_add_test(NAME SOURCES ... [LIBS ...] [WINVER win98|win2k|winxp|win7] [ARGS ...]
#             [FIXTURES ...] [TIMEOUT s] [LABELS ...])
#   Builds one GoogleTest executable and registers it with CTest. In the Windows
#   build it runs under Wine (through CMAKE_CROSSCOMPILING_EMULATOR) in the
#   build's private prefix; WINVER makes Wine report that Windows version to
#   this executable only.
#
# qv_add_test_variant(NAME BASE WINVER [ARGS ...] [FIXTURES ...])
#   Runs the executable of test BASE once more under another reported Windows
#   version. Wine keys the version by file name, so the variant runs a copy
#   of the executable named NAME.exe.

set(QV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(QV_TEST_ENV
  "QV_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
  "QV_BINARY_DIR=${CMAKE_BINARY_DIR}"
  "QV_WINEPREFIX=${QV_WINEPREFIX}"
  "QV_TARGET_ARCH=${CMAKE_SYSTEM_PROCESSOR}")

if(QV_WINDOWS AND NOT TARGET wine_prefix_init)
  add_test(NAME wine_prefix_init COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh init)
  add_test(NAME wine_prefix_shutdown COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh shutdown)
  set_tests_properties(wine_prefix_init PROPERTIES
    FIXTURES_SETUP wine_prefix ENVIRONMENT "WINEPREFIX=${QV_WINEPREFIX}" TIMEOUT 300)
  set_tests_properties(wine_prefix_shutdown PROPERTIES
    FIXTURES_CLEANUP wine_prefix ENVIRONMENT "WINEPREFIX=${QV_WINEPREFIX}")
  add_custom_target(wine_prefix_init)
endif()

function(qv_add_test name)
  cmake_parse_arguments(T "" "WINVER;TIMEOUT" "SOURCES;LIBS;ARGS;FIXTURES;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} qv_testsupport GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  _qv_test_properties(${name} "${T_WINVER}" "${T_TIMEOUT}" "${T_FIXTURES}" "${T_LABELS}")
endfunction()

function(qv_add_test_variant name base winver)
  cmake_parse_arguments(T "" "TIMEOUT" "ARGS;FIXTURES;LABELS" ${ARGN})
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/${name}.exe)
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${base}> ${copy}
    DEPENDS ${base} VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${copy})
  add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${copy} ${T_ARGS})
  _qv_test_properties(${name} "${winver}" "${T_TIMEOUT}" "${T_FIXTURES}" "${T_LABELS}")
endfunction()

function(_qv_test_properties name winver timeout fixtures labels)
  set(env ${QV_TEST_ENV})
  if(winver)
    list(APPEND env "QV_WINVER=${winver}")
  endif()
  if(NOT timeout)
    set(timeout 300)
  endif()
  set(required ${fixtures})
  if(QV_WINDOWS)
    list(APPEND required wine_prefix)
    list(APPEND labels windows)
  else()
    list(APPEND labels host)
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${env}" TIMEOUT ${timeout}
    FIXTURES_REQUIRED "${required}" LABELS "${labels}")
endfunction()
