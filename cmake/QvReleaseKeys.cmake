# The release public keys built into the programs (update/ReleaseKeys.h).
#
# qv_release_keys_header(KEYS OUTPUT)
#   KEYS is empty (no keys: the programs check no signatures) or one or two
#   Ed25519 public keys, 64 hex digits each, separated by ";" (the second
#   for a key rotation). Writes the header OUTPUT with QV_RELEASE_KEY_COUNT
#   and the keys as byte arrays, touching it only when its content changes.
#   Any other form of KEYS stops the configure with a message saying what
#   is wrong.
#
# Run as a script (cmake -DQV_RELEASE_PUBLIC_KEYS=... -DOUTPUT=... -P this
# file) it does the same; the tests check the accepted forms that way.

function(qv_release_keys_header keys output)
  set(what "QV_RELEASE_PUBLIC_KEYS must be empty or one or two Ed25519 public keys of 64 hex digits separated by \";\"")
  set(count 0)
  set(rows "")
  set(seen "")
  if(NOT keys STREQUAL "")
    # Every element counts: "a;" and "a;;b" hold an empty key.
    foreach(key IN LISTS keys)
      math(EXPR count "${count} + 1")
      if(count GREATER 2)
        message(FATAL_ERROR "${what}: it holds more than two keys")
      endif()
      if(NOT key MATCHES "^[0-9A-Fa-f]+$")
        message(FATAL_ERROR "${what}: key ${count} (\"${key}\") is not hex digits")
      endif()
      string(LENGTH "${key}" length)
      if(NOT length EQUAL 64)
        message(FATAL_ERROR "${what}: key ${count} has ${length} digits")
      endif()
      string(TOLOWER "${key}" key)
      if(key STREQUAL seen)
        message(FATAL_ERROR "${what}: the second key is the first one again")
      endif()
      set(seen "${key}")
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${key}")
      string(REGEX REPLACE ", $" "" bytes "${bytes}")
      string(APPEND rows "    {${bytes}},\n")
    endforeach()
  endif()
  if(count EQUAL 0)
    set(rows "    {0},  // no key: signature checks are off\n")
  endif()
  file(CONFIGURE OUTPUT "${output}" CONTENT
"// Generated from QV_RELEASE_PUBLIC_KEYS by cmake/QvReleaseKeys.cmake; do not edit.
#pragma once

#include <cstddef>
#include <cstdint>

const size_t QV_RELEASE_KEY_COUNT = ${count};

static const uint8_t kReleaseKeyData[][32] = {
${rows}};
" @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qv_release_keys_header("${QV_RELEASE_PUBLIC_KEYS}" "${OUTPUT}")
endif()
