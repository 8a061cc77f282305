# host_library_names(DEF OUT): the names a module-definition file lists after
# EXPORTS. Used when making the host libraries and when checking what the
# plug-ins import from them.
function(host_library_names def out)
  file(STRINGS ${def} lines)
  set(names "")
  set(in_exports FALSE)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^;")
      continue()
    elseif(line STREQUAL "EXPORTS")
      set(in_exports TRUE)
    elseif(in_exports)
      list(APPEND names ${line})
    endif()
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# host_library_stub(FILE INSTALL_NAME COMPATIBILITY NAME... [RAW SYMBOL...]):
# writes a text-based stub (TAPI .tbd, version 4) of the x86-64 macOS library
# INSTALL_NAME that exports the C functions NAME (as _NAME) and the symbols
# SYMBOL as they are. The plug-in records COMPATIBILITY as the least
# compatibility version it needs: 0 accepts any.
function(host_library_stub file install_name compatibility)
  cmake_parse_arguments(ARG "" "" "RAW" ${ARGN})
  set(symbols ${ARG_UNPARSED_ARGUMENTS})
  list(TRANSFORM symbols PREPEND _)
  list(APPEND symbols ${ARG_RAW})
  set(content "--- !tapi-tbd\ntbd-version: 4\ntargets: [ x86_64-macos ]\n")
  string(APPEND content "install-name: '${install_name}'\ncompatibility-version: ${compatibility}\n")
  if(symbols)
    list(JOIN symbols ", " list)
    string(APPEND content "exports:\n  - targets: [ x86_64-macos ]\n    symbols: [ ${list} ]\n")
  endif()
  string(APPEND content "...\n")
  file(CONFIGURE OUTPUT ${file} CONTENT "${content}")
endfunction()
