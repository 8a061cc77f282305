# write_contents(FILE VERSION HELP file... [EXAMPLES file...])
#
# Writes FILE, a Contents.m for a folder of the plug-ins (`help FOLDER` in
# MATLAB and Octave lists the functions): the name and version, then one
# line per function, "name - " and the first line of its help text (the
# first comment line of its .m file). With EXAMPLES the example functions
# follow under a heading of their own. build_plugins.m writes the same lines
# for the folders it fills. Works in script mode too (cmake -P).

function(contents_lines out)
  set(names "")
  set(width 0)
  foreach(file IN LISTS ARGN)
    get_filename_component(name ${file} NAME_WE)
    string(LENGTH ${name} length)
    if(length GREATER width)
      set(width ${length})
    endif()
  endforeach()
  set(lines "")
  foreach(file IN LISTS ARGN)
    get_filename_component(name ${file} NAME_WE)
    file(STRINGS ${file} comments REGEX "^%")
    list(GET comments 0 first)
    string(REGEX REPLACE "^%[ \t]*[^ \t]+[ \t]+" "" summary "${first}")
    string(STRIP "${summary}" summary)
    string(LENGTH ${name} length)
    math(EXPR padding "${width} - ${length}")
    string(REPEAT " " ${padding} spaces)
    list(APPEND lines "%   ${name}${spaces} - ${summary}")
  endforeach()
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

function(write_contents file version)
  cmake_parse_arguments(ARG "" "" "HELP;EXAMPLES" ${ARGN})
  contents_lines(help ${ARG_HELP})
  set(lines "% hmm-plugins  Hidden Markov model plug-ins for GNU Octave and MATLAB."
            "% Version ${version}" "%" ${help})
  if(ARG_EXAMPLES)
    contents_lines(examples ${ARG_EXAMPLES})
    list(APPEND lines "%" "% Examples" ${examples})
  endif()
  list(JOIN lines "\n" text)
  file(CONFIGURE OUTPUT ${file} CONTENT "${text}\n" @ONLY)
endfunction()
