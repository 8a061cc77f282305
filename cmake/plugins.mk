# What every plug-in is built from, and the compiler flags that keep its
# results bit for bit: the one list that CMake (cmake/PluginManifest.cmake),
# the in-host build (build_plugins.m) and the Octave package's Makefile
# (cmake/octave_package.mk) all read. Add a source here and all three build it.
#
# Make syntax: NAME = words, one line each (a trailing \ continues a line),
# paths relative to the repository's root.
#
#   PLUGINS              the plug-ins
#   NAME_ENTRY           plug-in NAME's entry layer (the host's side)
#   NAME_SOURCES         its host-free core
#   NAME_UNIT_SOURCES    kernels compiled once per vector unit, with that
#                        unit's flags and VECTOR_UNIT_BUILD_<UNIT> defined;
#                        the rest of the plug-in is compiled with
#                        PLUGINS_HAVE_<UNIT> for each unit built
#   NAME_LIBRARIES       the shared libraries (below) its core uses
#   LIB_SOURCES          the sources of shared library LIB (CMake's target
#                        plugin_LIB)
#   HOST_SOURCES         linked into every plug-in, for every host
#   OCTAVE_HOST_SOURCES  linked into the Octave plug-ins only
#   MEX_HOST_SOURCES     linked into every other plug-in only (MATLAB, the
#                        stand-in host)

PLUGINS = chainsweep pairtally pathtrace bestmatch

# The run-time choice of vector unit, and the work split over threads.
vector_unit_SOURCES = common/vector_unit.cpp common/processor_features.cpp
threads_SOURCES = common/parallel.cpp

HOST_SOURCES = host/work_memory_mex.cpp
# Result creation (host/results.h): Octave's own arrays for Octave, the MEX
# API for the other hosts.
OCTAVE_HOST_SOURCES = host/results_octave.cpp
MEX_HOST_SOURCES = host/results_mex.cpp

chainsweep_ENTRY = chainsweep/chainsweep_mex.cpp
chainsweep_SOURCES = chainsweep/kernels.cpp chainsweep/kernel_dispatch.cpp \
  chainsweep/forward_backward.cpp chainsweep/natural_log.cpp
chainsweep_UNIT_SOURCES = chainsweep/vector_kernels.cpp chainsweep/natural_log_lanes.cpp
chainsweep_LIBRARIES = vector_unit threads

pairtally_ENTRY = pairtally/pairtally_mex.cpp
pairtally_SOURCES = pairtally/transition_counts.cpp
pairtally_UNIT_SOURCES = pairtally/transition_counts_lanes.cpp
pairtally_LIBRARIES = vector_unit threads

pathtrace_ENTRY = pathtrace/pathtrace_mex.cpp
pathtrace_SOURCES = pathtrace/best_path.cpp
pathtrace_UNIT_SOURCES = pathtrace/best_path_lanes.cpp
pathtrace_LIBRARIES = vector_unit

bestmatch_ENTRY = bestmatch/bestmatch_mex.cpp
bestmatch_SOURCES = bestmatch/assignment.cpp bestmatch/munkres_steps.cpp bestmatch/zero_lists.cpp \
  bestmatch/dense_values.cpp bestmatch/deferred_values.cpp bestmatch/deferred_merges.cpp \
  bestmatch/free_leasts.cpp bestmatch/relevant_rows.cpp bestmatch/row_tree.cpp \
  bestmatch/shift_history.cpp bestmatch/start_zeros.cpp bestmatch/reduced_costs.cpp \
  bestmatch/column_pass_dispatch.cpp
bestmatch_UNIT_SOURCES = bestmatch/column_passes_lanes.cpp
bestmatch_LIBRARIES = vector_unit threads

# GCC and Clang flags. Every source: optimised, no fused multiply-add, no
# fast-math; 32-bit x86 computes in SSE2 rather than x87 extended precision.
FLAGS = -O2 -ffp-contract=off -fno-fast-math
X86_32_FLAGS = -msse2 -mfpmath=sse
# The in-host build and the Octave package compile with these in place of
# the host's default flags, plus what CMake's Release build type adds
# (NDEBUG) and without the hardening some hosts add by default
# (_FORTIFY_SOURCE changes what the compiler inlines): the same machine code
# as the CMake build.
RELEASE_FLAGS = -DNDEBUG -U_FORTIFY_SOURCE

# The vector units of x86 processors, narrowest first, and each one's flags.
# FMA instructions stay out of every unit (-mno-fma), so all units compute
# the same bits. Clang counts FMA as part of AVX-512F, so -mno-fma would
# switch AVX-512 off there: its avx512 relies on -ffp-contract=off alone.
# MinGW's GCC cannot align the stack beyond 16 bytes, so an aligned AVX
# spill could fault: its assembler turns aligned vector moves into
# unaligned ones (binutils 2.38 and later).
VECTOR_UNITS = sse2 avx2 avx512
UNIT_FLAGS_sse2 = -msse2
UNIT_FLAGS_avx2 = -mavx2 -mno-fma
UNIT_FLAGS_avx512 = -mavx512f -mno-fma
CLANG_UNIT_FLAGS_avx512 = -mavx512f
MINGW_UNIT_FLAGS = -Wa,-muse-unaligned-vector-move
