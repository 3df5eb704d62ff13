# QV_RELEASE_PUBLIC_KEYS at configure time (cmake/QvReleaseKeys.cmake): the
# accepted forms give a header with their count and bytes; every other form
# stops the configure with a message naming what is wrong.
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -P ReleaseKeysConfig_test.cmake
set(module ${SOURCE_DIR}/cmake/QvReleaseKeys.cmake)
set(header ${WORK_DIR}/ReleaseKeyData.h)
file(MAKE_DIRECTORY ${WORK_DIR})
set(failures 0)

# run_generator(KEYS RESULT OUTPUT): runs the module as a script.
function(run_generator keys result output)
  file(REMOVE ${header})
  execute_process(COMMAND ${CMAKE_COMMAND} "-DQV_RELEASE_PUBLIC_KEYS=${keys}" -DOUTPUT=${header} -P ${module}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result} ${code} PARENT_SCOPE)
  set(${output} "${out}${err}" PARENT_SCOPE)
endfunction()

macro(fail text)
  message(SEND_ERROR "${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

string(REPEAT "0f" 32 first)
string(REPEAT "a1" 32 second)
string(TOUPPER ${second} secondUpper)

# expect_keys(KEYS COUNT FIRST SECOND): KEYS is accepted, with COUNT keys
# whose first bytes are FIRST and SECOND ("" when absent).
function(expect_keys keys count firstByte secondByte)
  run_generator("${keys}" code out)
  if(NOT code EQUAL 0 OR NOT EXISTS ${header})
    fail("\"${keys}\" was refused: ${out}")
    return()
  endif()
  file(READ ${header} text)
  if(NOT text MATCHES "QV_RELEASE_KEY_COUNT = ${count};")
    fail("\"${keys}\": not ${count} keys:\n${text}")
  endif()
  if(firstByte AND NOT text MATCHES "{${firstByte}, ${firstByte}, [^}]*}")
    fail("\"${keys}\": the first key is not ${firstByte}...:\n${text}")
  endif()
  if(secondByte AND NOT text MATCHES "},\n    {${secondByte}, ")
    fail("\"${keys}\": the second key is not ${secondByte}...:\n${text}")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

# expect_refused(KEYS MESSAGE): the configure stops and says MESSAGE.
function(expect_refused keys message)
  run_generator("${keys}" code out)
  string(REGEX REPLACE "[ \n]+" " " out "${out}")
  if(code EQUAL 0 OR NOT out MATCHES "QV_RELEASE_PUBLIC_KEYS must be" OR NOT out MATCHES "${message}")
    fail("\"${keys}\" gave ${code}, not a refusal saying \"${message}\": ${out}")
  endif()
  if(EXISTS ${header})
    fail("\"${keys}\" was refused but wrote the header")
  endif()
  set(failures ${failures} PARENT_SCOPE)
endfunction()

string(REPEAT "0f" 32 first)
string(REPEAT "a1" 32 second)
string(TOUPPER ${second} secondUpper)

expect_keys("" 0 "" "")
expect_keys("${first}" 1 0x0f "")
expect_keys("${first};${secondUpper}" 2 0x0f 0xa1)

expect_refused("${first};" "key 2")
expect_refused(";${first}" "key 1")
expect_refused("${first};;${second}" "key 2")
expect_refused("${first};${second};${first}" "more than two")
expect_refused("${first};${first}" "the first one again")
expect_refused("${first} ${second}" "not hex digits")
expect_refused(" ${first}" "not hex digits")
expect_refused("0x${first}" "not hex digits")
expect_refused("${first}0" "65 digits")

string(SUBSTRING "${first}" 0 62 short)
expect_refused("${short}" "62 digits")

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} cases failed")
endif()
message(STATUS "every form of QV_RELEASE_PUBLIC_KEYS gave its result")
