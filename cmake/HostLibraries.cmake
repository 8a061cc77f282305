# The host's libraries for plug-ins built without a MATLAB at hand, made from
# our own lists of the functions the plug-ins call (host/libraries/*.def):
#
#   Windows: import libraries libmx.dll.a and libmex.dll.a made by dlltool,
#            so that the plug-ins import those names from libmx.dll and
#            libmex.dll, as MATLAB provides them.
#   Linux:   link-time stand-ins libmx.so, libmex.so and libmat.so that
#            define the listed names (as empty functions), so that the
#            plug-ins link with --no-undefined and need the three libraries
#            by name; MATLAB's own libraries satisfy them at load time.
#   macOS:   text-based stubs (.tbd) of @rpath/libmx.dylib, libmex.dylib and
#            libmat.dylib listing the same names; MATLAB's libraries are
#            found at load time through the plug-in's rpath @loader_path.
#            Built without the SDK (PLUGINS_WITHOUT_RUNTIME), the system
#            library is a stub too, of /usr/lib/libSystem.B.dylib listing
#            host/libraries/libSystem.def. A name missing from a stub fails
#            the link.
#
# PLUGIN_HOST_LIBRARIES lists what a plug-in links against.

set(PLUGIN_HOST_LIBRARIES "")
set(PLUGIN_HOST_DEFS ${PROJECT_SOURCE_DIR}/host/libraries)
set(PLUGIN_HOST_LIBRARY_DIR ${PROJECT_BINARY_DIR}/host_libraries)

include(${CMAKE_CURRENT_LIST_DIR}/HostLibraryNames.cmake)

if(PLUGINS_MEX_SUFFIX)
  file(MAKE_DIRECTORY ${PLUGIN_HOST_LIBRARY_DIR})
  if(WIN32)
    find_program(PLUGINS_DLLTOOL NAMES ${CMAKE_DLLTOOL} dlltool REQUIRED)
    foreach(library mx mex)
      set(def ${PLUGIN_HOST_DEFS}/lib${library}.def)
      set(import ${PLUGIN_HOST_LIBRARY_DIR}/lib${library}.dll.a)
      add_custom_command(OUTPUT ${import}
        COMMAND ${PLUGINS_DLLTOOL} -d ${def} -l ${import}
        DEPENDS ${def} VERBATIM
        COMMENT "Import library lib${library}.dll.a from lib${library}.def")
      add_custom_target(host_import_${library} DEPENDS ${import})
      add_library(host_${library} UNKNOWN IMPORTED GLOBAL)
      set_target_properties(host_${library} PROPERTIES IMPORTED_LOCATION ${import})
      add_dependencies(host_${library} host_import_${library})
      list(APPEND PLUGIN_HOST_LIBRARIES host_${library})
    endforeach()
  elseif(NOT APPLE)
    foreach(library mx mex mat)
      host_library_names(${PLUGIN_HOST_DEFS}/lib${library}.def names)
      set(content "// Generated from lib${library}.def: link-time stand-ins, never run.\nextern \"C\" {\n")
      foreach(name IN LISTS names)
        string(APPEND content "void ${name}() {}\n")
      endforeach()
      string(APPEND content "}\n")
      set(source ${PLUGIN_HOST_LIBRARY_DIR}/lib${library}_names.cpp)
      file(CONFIGURE OUTPUT ${source} CONTENT "${content}")
      add_library(host_${library} SHARED ${source})
      set_target_properties(host_${library} PROPERTIES
        OUTPUT_NAME ${library} LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_HOST_LIBRARY_DIR})
      target_compile_options(host_${library} PRIVATE -w)
      list(APPEND PLUGIN_HOST_LIBRARIES host_${library})
    endforeach()
    # libmat is needed by name although nothing in it is called.
    set(PLUGIN_HOST_LIBRARIES -Wl,--no-as-needed ${PLUGIN_HOST_LIBRARIES})
  else()
    foreach(library mx mex mat)
      host_library_names(${PLUGIN_HOST_DEFS}/lib${library}.def names)
      set(stub ${PLUGIN_HOST_LIBRARY_DIR}/lib${library}.tbd)
      host_library_stub(${stub} @rpath/lib${library}.dylib 0 ${names})
      list(APPEND PLUGIN_HOST_LIBRARIES ${stub})
    endforeach()
    if(PLUGINS_WITHOUT_RUNTIME)
      # dyld_stub_binder: dyld's lazy binding, which every bundle refers to.
      host_library_names(${PLUGIN_HOST_DEFS}/libSystem.def names)
      set(stub ${PLUGIN_HOST_LIBRARY_DIR}/libSystem.tbd)
      host_library_stub(${stub} /usr/lib/libSystem.B.dylib 1 ${names} RAW dyld_stub_binder)
      list(APPEND PLUGIN_HOST_LIBRARIES -nostdlib ${stub})
    endif()
  endif()
endif()
