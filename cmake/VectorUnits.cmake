# Builds of one source per vector unit, for kernels that pick the widest unit
# at run time (common/vector_unit.h).
#
#   PLUGINS_VECTOR_UNITS             the units this compiler and processor
#                                    family build for (sse2, avx2, avx512 on x86)
#   PLUGINS_VECTOR_UNIT_DEFINITIONS  PLUGINS_HAVE_<UNIT> for each of them
#   add_vector_unit_sources(TARGET source...)
#       compiles each source once per unit, with that unit's instruction set
#       and VECTOR_UNIT_BUILD_<UNIT> defined (see common/vector_lanes.h), into
#       TARGET, and gives TARGET the definitions above.
#
# The units and their flags are those of cmake/plugins.mk (the in-host build
# and the Octave package use them too): no unit lets the compiler fuse a
# multiply with an add, so every unit computes the same bits.

include(CheckCXXCompilerFlag)

set(PLUGINS_VECTOR_UNITS "")
plugin_manifest(VECTOR_UNITS all_vector_units)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i.86|x86)$")
  foreach(unit IN LISTS all_vector_units)
    plugin_manifest(UNIT_FLAGS_${unit} vector_unit_flags_${unit})
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND DEFINED PLUGIN_MANIFEST_CLANG_UNIT_FLAGS_${unit})
      plugin_manifest(CLANG_UNIT_FLAGS_${unit} vector_unit_flags_${unit})
    endif()
    string(REPLACE ";" " " flags "${vector_unit_flags_${unit}}")
    check_cxx_compiler_flag("${flags}" PLUGINS_COMPILER_HAS_${unit})
    if(PLUGINS_COMPILER_HAS_${unit})
      list(APPEND PLUGINS_VECTOR_UNITS ${unit})
    endif()
  endforeach()
endif()
# MinGW's GCC cannot align the stack beyond 16 bytes, so an aligned AVX or
# AVX-512 spill to the stack can fault: have the assembler turn every aligned
# vector move into an unaligned one (binutils 2.38 and later).
if(MINGW AND PLUGINS_VECTOR_UNITS)
  plugin_manifest(MINGW_UNIT_FLAGS mingw_unit_flags)
  string(REPLACE ";" " " flags "${mingw_unit_flags}")
  check_cxx_compiler_flag("${flags}" PLUGINS_ASSEMBLER_HAS_UNALIGNED_MOVES)
  if(NOT PLUGINS_ASSEMBLER_HAS_UNALIGNED_MOVES)
    message(FATAL_ERROR "MinGW builds of the vector units need binutils 2.38 or later (-muse-unaligned-vector-move)")
  endif()
  foreach(unit IN LISTS all_vector_units)
    list(APPEND vector_unit_flags_${unit} ${mingw_unit_flags})
  endforeach()
endif()
option(PLUGINS_VECTOR_KERNELS "Build the vector-unit kernels (off: the plain loops alone)" ON)
if(NOT PLUGINS_VECTOR_KERNELS)
  set(PLUGINS_VECTOR_UNITS "")
endif()

set(PLUGINS_VECTOR_UNIT_DEFINITIONS "")
foreach(unit IN LISTS PLUGINS_VECTOR_UNITS)
  string(TOUPPER ${unit} upper)
  list(APPEND PLUGINS_VECTOR_UNIT_DEFINITIONS PLUGINS_HAVE_${upper})
endforeach()
message(STATUS "Vector units: ${PLUGINS_VECTOR_UNITS}")

function(add_vector_unit_sources target)
  foreach(source IN LISTS ARGN)
    get_filename_component(path ${source} ABSOLUTE)
    get_filename_component(stem ${source} NAME_WE)
    foreach(unit IN LISTS PLUGINS_VECTOR_UNITS)
      string(TOUPPER ${unit} upper)
      set(generated ${CMAKE_CURRENT_BINARY_DIR}/${stem}_${unit}.cpp)
      file(CONFIGURE OUTPUT ${generated} CONTENT
           "// Generated: ${stem} for ${unit}.\n#define VECTOR_UNIT_BUILD_${upper} 1\n#include \"${path}\"\n")
      set_source_files_properties(${generated} PROPERTIES
        COMPILE_OPTIONS "${vector_unit_flags_${unit}}" OBJECT_DEPENDS ${path})
      target_sources(${target} PRIVATE ${generated})
    endforeach()
  endforeach()
  target_compile_definitions(${target} PRIVATE ${PLUGINS_VECTOR_UNIT_DEFINITIONS})
endfunction()
