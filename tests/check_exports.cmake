# cmake -DPLUGIN=file [-DWINDOWS=ON -DOBJDUMP=objdump]
#       [-DMACHO=ON -DLLVM_OBJDUMP=llvm-objdump -DLLVM_NM=llvm-nm] -P check_exports.cmake
# Fails unless the file exports mexFunction alone: on Linux its dynamic
# symbol table defines mexFunction alone, under the symbol version MEX; on
# Windows its export table names mexFunction alone; on macOS it is an x86-64
# bundle (MH_BUNDLE) whose export trie and symbol table name _mexFunction
# alone.
if(MACHO)
  execute_process(COMMAND ${LLVM_OBJDUMP} --macho --private-headers --exports-trie ${PLUGIN}
                  OUTPUT_VARIABLE dump ERROR_VARIABLE errors)
  # Mach header: magic, cputype, cpusubtype, caps, filetype, ...
  if(NOT dump MATCHES "\nMH_MAGIC_64[ \t]+X86_64[ \t]+[A-Z0-9_]+[ \t]+0x[0-9a-fA-F]+[ \t]+BUNDLE[ \t]")
    string(REGEX MATCH "\nMH_MAGIC[^\n]*" header "${dump}")
    message(FATAL_ERROR "${PLUGIN} is not an x86-64 Mach-O bundle (MH_BUNDLE): ${header}${errors}")
  endif()
  string(REGEX MATCH "\nExports trie:\n(.*)" ignored "${dump}")
  string(REGEX MATCHALL "0x[0-9a-fA-F]+[ \t]+[^ \t\n]+" trie "${CMAKE_MATCH_1}")
  list(TRANSFORM trie REPLACE "^0x[0-9a-fA-F]+[ \t]+" "")
  execute_process(COMMAND ${LLVM_NM} -m --defined-only ${PLUGIN} OUTPUT_VARIABLE symbols)
  string(REGEX MATCHALL "[)] external [^\n]+" external "${symbols}")
  list(TRANSFORM external REPLACE "^[)] external " "")
  if(NOT trie STREQUAL "_mexFunction" OR NOT external STREQUAL "_mexFunction")
    message(FATAL_ERROR "${PLUGIN} exports more or other than _mexFunction: "
                        "export trie ${trie}, external symbols ${external}")
  endif()
  message(STATUS "${PLUGIN}: an x86-64 bundle that exports only _mexFunction")
  return()
endif()

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
