# cmake -DPLUGIN=file -P check_exports.cmake
# Fails unless the file's dynamic symbol table defines mexFunction alone,
# under the symbol version MEX.
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
