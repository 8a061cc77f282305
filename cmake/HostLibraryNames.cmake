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
