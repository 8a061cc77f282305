# cmake -DPLUGIN=file [-DWINDOWS=ON -DOBJDUMP=objdump] -P check_exports.cmake
# Fails unless the file exports mexFunction alone: on Linux its dynamic
# symbol table defines mexFunction alone, under the symbol version MEX; on
# Windows its export table names mexFunction alone.
if(WINDOWS)
  execute_process(COMMAND ${OBJDUMP} -p ${PLUGIN} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${PLUGIN}")
  endif()
  # The export table's name list: lines "[ n] name" after "[Ordinal/Name Pointer] Table".
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]*\\[[ 0-9]+\\][^\n]*\n)*)" table "${dump}")
  string(REGEX MATCHALL "\\][ \t]+[^ \t\n]+" names "${CMAKE_MATCH_1}")
  list(TRANSFORM names REPLACE "^\\][ \t]+" "")
  if(NOT names STREQUAL "mexFunction")
    message(FATAL_ERROR "${PLUGIN} exports more or other than mexFunction: ${names}")
  endif()
  message(STATUS "${PLUGIN}: exports only mexFunction")
  return()
endif()

find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${PLUGIN}")
endif()
string(REGEX REPLACE "\n$" "" symbols "${symbols}")
string(REPLACE "\n" ";" lines "${symbols}")
set(functions "")
foreach(line IN LISTS lines)
  # The version node itself is listed as an absolute symbol named MEX.
  if(line MATCHES " A MEX$")
    continue()
  endif()
  list(APPEND functions "${line}")
endforeach()
list(LENGTH functions count)
if(NOT count EQUAL 1 OR NOT functions MATCHES " T mexFunction@@MEX$")
  message(FATAL_ERROR "${PLUGIN} exports more or other than mexFunction@@MEX:\n${symbols}")
endif()
message(STATUS "${PLUGIN}: exports only mexFunction@@MEX")
