# Loopback HTTP test server as a CTest fixture (server: qv_http_server.py here).
#
#   include(${PROJECT_SOURCE_DIR}/tests/server/QvHttpServer.cmake)
#   qv_add_http_server(FIXTURE name ROOT dir [PORT n])
#
# Adds the tests name_start (FIXTURES_SETUP name) and name_stop (FIXTURES_CLEANUP
# name). Tests that list the fixture (qv_add_test(... FIXTURES name)) run while a
# server serves dir on 127.0.0.1. The server writes its port, document root and
# process id to ${CMAKE_BINARY_DIR}/qv-servers/name.server; a test program
# opens it with qvtest::CTestServer("name") (tests/support/TestServer.h, library
# qv_testserver), which reads it through QV_BINARY_DIR. PORT fixes the port
# (for a program that cannot be told where the server is); by default the
# server takes a free one.
#
# One server keeps one request record: give each test executable that reads the
# record its own fixture, so parallel runs do not mix their requests.

# Found in every including folder: find_package results are folder-scoped.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(QV_HTTP_SERVER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/qv_http_server.py)
include_guard(GLOBAL)

function(qv_add_http_server)
  cmake_parse_arguments(S "" "FIXTURE;ROOT;PORT" "" ${ARGN})
  if(NOT S_PORT)
    set(S_PORT 0)
  endif()
  if(NOT S_FIXTURE OR NOT S_ROOT)
    message(FATAL_ERROR "qv_add_http_server needs FIXTURE and ROOT")
  endif()
  file(MAKE_DIRECTORY ${S_ROOT})
  set(state ${CMAKE_BINARY_DIR}/qv-servers/${S_FIXTURE}.server)
  add_test(NAME ${S_FIXTURE}_start
    COMMAND ${Python3_EXECUTABLE} ${QV_HTTP_SERVER_SCRIPT} start --root ${S_ROOT} --state ${state}
            --port ${S_PORT})
  add_test(NAME ${S_FIXTURE}_stop
    COMMAND ${Python3_EXECUTABLE} ${QV_HTTP_SERVER_SCRIPT} stop --state ${state})
  set_tests_properties(${S_FIXTURE}_start PROPERTIES FIXTURES_SETUP ${S_FIXTURE} TIMEOUT 30
    LABELS server)
  set_tests_properties(${S_FIXTURE}_stop PROPERTIES FIXTURES_CLEANUP ${S_FIXTURE} TIMEOUT 30
    LABELS server)
endfunction()
