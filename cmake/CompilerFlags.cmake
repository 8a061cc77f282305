# Flags for every target. Results are defined bit for bit, so the compiler may
# neither fuse multiply-adds nor reorder floating-point work; 32-bit x86 must
# use SSE2 rather than x87 extended-precision intermediates. The flags are
# those of cmake/plugins.mk, which the in-host build and the Octave package use
# too.
plugin_manifest(FLAGS exact_flags)
add_compile_options(${exact_flags} -Wall -Wextra)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR
   (CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4))
  plugin_manifest(X86_32_FLAGS x86_32_flags)
  add_compile_options(${x86_32_flags})
endif()

if(PLUGINS_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz build (clang): coverage for libFuzzer and the sanitizers on every
# target; the fuzz programs add -fsanitize=fuzzer when they link.
if(PLUGINS_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
