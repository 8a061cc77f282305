# cmake -DSOURCE=dir -DVERSION=x.y.z -DOUTPUT=dir -DWORK=dir -P octave_package.cmake
#
# Writes OUTPUT/hmm-plugins-VERSION.tar.gz, the Octave package, staged in
# WORK. Octave's package layout:
#   DESCRIPTION, COPYING, NEWS   from cmake/octave_package/ (the version and
#                                date filled in)
#   INDEX                        the plug-ins and the example functions
#   inst/                        Contents.m, the example functions and the
#                                demo from examples/, their data
#   src/                         the sources of cmake/plugins.mk with their
#                                headers and help texts, the export lists,
#                                and cmake/octave_package/Makefile, which
#                                builds every plug-in with mkoctfile
# The help texts are installed beside the plug-ins by the Makefile, not from
# inst/ (see the Makefile).
cmake_minimum_required(VERSION 3.20)
foreach(variable SOURCE VERSION OUTPUT WORK)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "octave_package.cmake needs -D${variable}=...")
  endif()
endforeach()
set(PROJECT_SOURCE_DIR ${SOURCE})
include(${SOURCE}/cmake/PluginManifest.cmake)
include(${SOURCE}/cmake/Contents.cmake)
set(template ${SOURCE}/cmake/octave_package)

set(name hmm-plugins-${VERSION})
set(stage ${WORK}/${name})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage}/inst ${stage}/src/cmake)

# The date honours SOURCE_DATE_EPOCH, for reproducible archives.
string(TIMESTAMP DATE "%Y-%m-%d" UTC)
configure_file(${template}/DESCRIPTION.in ${stage}/DESCRIPTION @ONLY)
file(COPY ${template}/COPYING ${template}/NEWS DESTINATION ${stage})

# src/: every source folder of the list, with its headers; each plug-in's
# help text; the list itself, the export lists and the Makefile.
set(folders host)
foreach(key IN LISTS PLUGIN_MANIFEST_KEYS)
  if(key MATCHES "_(ENTRY|SOURCES)$")
    foreach(file IN LISTS PLUGIN_MANIFEST_${key})
      get_filename_component(folder ${file} DIRECTORY)
      list(APPEND folders ${folder})
    endforeach()
  endif()
endforeach()
list(REMOVE_DUPLICATES folders)
foreach(folder IN LISTS folders)
  file(GLOB files ${SOURCE}/${folder}/*.cpp ${SOURCE}/${folder}/*.h)
  file(COPY ${files} DESTINATION ${stage}/src/${folder})
endforeach()
set(help_files "")
foreach(plugin IN LISTS PLUGIN_MANIFEST_PLUGINS)
  file(COPY ${SOURCE}/${plugin}/${plugin}.m DESTINATION ${stage}/src/${plugin})
  list(APPEND help_files ${SOURCE}/${plugin}/${plugin}.m)
endforeach()
file(COPY ${SOURCE}/cmake/plugins.mk ${SOURCE}/cmake/mexFunction.map ${SOURCE}/cmake/mexFunction.def
          ${SOURCE}/cmake/mexFunction.exports DESTINATION ${stage}/src/cmake)
file(COPY ${template}/Makefile DESTINATION ${stage}/src)

# inst/: the examples with their data, and Contents.m.
file(GLOB examples ${SOURCE}/examples/*.m)
list(SORT examples)
file(COPY ${examples} ${SOURCE}/examples/data DESTINATION ${stage}/inst)
write_contents(${stage}/inst/Contents.m ${VERSION} HELP ${help_files} EXAMPLES ${examples})

# INDEX: the functions by category.
set(index "hmm-plugins >> Hidden Markov model plug-ins\nPlug-ins\n")
foreach(plugin IN LISTS PLUGIN_MANIFEST_PLUGINS)
  string(APPEND index " ${plugin}\n")
endforeach()
string(APPEND index "Examples\n")
foreach(example IN LISTS examples)
  get_filename_component(example ${example} NAME_WE)
  string(APPEND index " ${example}\n")
endforeach()
file(WRITE ${stage}/INDEX "${index}")

file(MAKE_DIRECTORY ${OUTPUT})
file(REMOVE ${OUTPUT}/${name}.tar.gz)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${OUTPUT}/${name}.tar.gz ${name}
                WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot write ${OUTPUT}/${name}.tar.gz")
endif()
message(STATUS "Octave package: ${OUTPUT}/${name}.tar.gz")
