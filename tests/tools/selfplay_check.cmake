# Runs zellhop-selfplay as a user would and checks what it prints.
#   -DPROGRAM=path -DARGS="--seats;C--C--" -DEXPECT_EXIT=0
#   [-DEXPECTED=file]      standard output must equal the file
#   [-DLAST_LINE=regex]    the last line of standard output must match
#   [-DSTDERR=regex]       standard error must match
#   [-DLINES=n]            standard output has this many lines
#   [-DTWICE=ON]           a second run must print exactly the same

function(run out err code)
  execute_process(COMMAND ${PROGRAM} ${ARGS} OUTPUT_VARIABLE o ERROR_VARIABLE e
                  RESULT_VARIABLE c)
  set(${out} "${o}" PARENT_SCOPE)
  set(${err} "${e}" PARENT_SCOPE)
  set(${code} "${c}" PARENT_SCOPE)
endfunction()

run(out err code)
if(NOT code STREQUAL EXPECT_EXIT)
  message(FATAL_ERROR "exit ${code}, expected ${EXPECT_EXIT}\n${err}")
endif()
if(DEFINED EXPECTED)
  file(READ ${EXPECTED} expected)
  if(NOT out STREQUAL expected)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/selfplay_actual.txt "${out}")
    message(FATAL_ERROR "output differs from ${EXPECTED}; see selfplay_actual.txt")
  endif()
endif()
if(DEFINED LAST_LINE)
  string(REGEX REPLACE "\n$" "" trimmed "${out}")
  string(REGEX REPLACE "^.*\n" "" last "${trimmed}")
  if(NOT last MATCHES "${LAST_LINE}")
    message(FATAL_ERROR "last line '${last}' does not match '${LAST_LINE}'")
  endif()
endif()
if(DEFINED STDERR AND NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "standard error '${err}' does not match '${STDERR}'")
endif()
if(DEFINED LINES)
  string(REGEX MATCHALL "\n" newlines "${out}")
  list(LENGTH newlines count)
  if(NOT count EQUAL LINES)
    message(FATAL_ERROR "${count} lines, expected ${LINES}")
  endif()
endif()
if(TWICE)
  run(again err2 code2)
  if(NOT again STREQUAL out)
    message(FATAL_ERROR "a second run printed something else")
  endif()
endif()
