# cmake -DSOURCE=dir -DWORK=dir -DSTANDIN_LIBRARY=file -DMEX_HEADER=file -P build_plugins.cmake
#
# Lays out a stand-in MATLAB installation under WORK/root, whose libmx and
# libmex are the stand-in host and whose mex.h is the stand-in's, then
# configures and builds the project in WORK/build with FindMatlab pointed at
# it. The plug-ins land in WORK/build/matlab as MATLAB would load them.
set(here ${CMAKE_CURRENT_LIST_DIR})
set(root ${WORK}/root)
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root}/bin/glnxa64 ${root}/extern/include ${root}/extern/version
     ${root}/extern/lib/glnxa64)
file(COPY ${here}/VersionInfo.xml DESTINATION ${root})
file(COPY ${here}/mexext DESTINATION ${root}/bin)
file(COPY ${here}/cpp_mexapi_version.cpp DESTINATION ${root}/extern/version)
file(COPY ${here}/c_exportsmexfileversion.map DESTINATION ${root}/extern/lib/glnxa64)
file(COPY ${MEX_HEADER} DESTINATION ${root}/extern/include)
foreach(library mx mex mat eng)
  file(CREATE_LINK ${STANDIN_LIBRARY} ${root}/bin/glnxa64/lib${library}.so SYMBOLIC)
endforeach()

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/build -DCMAKE_BUILD_TYPE=Release
          -DMatlab_ROOT_DIR=${root} -DPLUGINS_OCTAVE=OFF -DBUILD_TESTING=OFF
          -DPLUGINS_BENCHMARKS=OFF "-DPLUGINS=${PLUGINS}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring with the stand-in MATLAB failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/build RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "building with the stand-in MATLAB failed")
endif()
foreach(plugin IN LISTS PLUGINS)
  if(NOT EXISTS ${WORK}/build/matlab/${plugin}.mexa64)
    message(FATAL_ERROR "FindMatlab build made no ${plugin}.mexa64")
  endif()
endforeach()
