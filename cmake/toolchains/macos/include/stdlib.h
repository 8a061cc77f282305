/* The parts of the C library's stdlib.h that libc++'s <cstdlib> names, for
   the macOS build made without Apple's SDK (cmake/toolchains/macos-x86_64.cmake).
   Plain declarations of the C standard's own functions; libc++ skips the
   names that are not declared here. */
#ifndef PLUGINS_MACOS_STDLIB_H
#define PLUGINS_MACOS_STDLIB_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    int quot, rem;
} div_t;
typedef struct {
    long quot, rem;
} ldiv_t;
typedef struct {
    long long quot, rem;
} lldiv_t;

void* malloc(size_t size);
void* calloc(size_t count, size_t size);
void free(void* block);
void abort(void) __attribute__((__noreturn__));
char* getenv(const char* name);
ldiv_t ldiv(long numerator, long denominator);
lldiv_t lldiv(long long numerator, long long denominator);

#ifdef __cplusplus
}
#endif

#endif
