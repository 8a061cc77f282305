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
# No unit lets the compiler fuse a multiply with an add: -ffp-contract=off
# holds for all of them, GCC's units also leave FMA instructions out
# (-mno-fma), and no kernel calls an FMA intrinsic, so every unit computes the
# same bits. (Clang counts FMA as part of AVX-512F, so -mno-fma would switch
# AVX-512 off there; its AVX-512 unit relies on -ffp-contract=off alone.)

include(CheckCXXCompilerFlag)

set(PLUGINS_VECTOR_UNITS "")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i.86|x86)$")
  set(vector_unit_flags_sse2 -msse2)
  set(vector_unit_flags_avx2 -mavx2 -mno-fma)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(vector_unit_flags_avx512 -mavx512f)
  else()
    set(vector_unit_flags_avx512 -mavx512f -mno-fma)
  endif()
  foreach(unit sse2 avx2 avx512)
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
  check_cxx_compiler_flag("-Wa,-muse-unaligned-vector-move" PLUGINS_ASSEMBLER_HAS_UNALIGNED_MOVES)
  if(NOT PLUGINS_ASSEMBLER_HAS_UNALIGNED_MOVES)
    message(FATAL_ERROR "MinGW builds of the vector units need binutils 2.38 or later (-muse-unaligned-vector-move)")
  endif()
  foreach(unit sse2 avx2 avx512)
    list(APPEND vector_unit_flags_${unit} -Wa,-muse-unaligned-vector-move)
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
