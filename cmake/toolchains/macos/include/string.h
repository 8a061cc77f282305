/* The parts of the C library's string.h that libc++'s <cstring> names, for
   the macOS build made without Apple's SDK (cmake/toolchains/macos-x86_64.cmake). */
#ifndef PLUGINS_MACOS_STRING_H
#define PLUGINS_MACOS_STRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void* memcpy(void* destination, const void* source, size_t count);
void* memset(void* destination, int value, size_t count);
void* memchr(const void* block, int value, size_t count);
int strcmp(const char* left, const char* right);
char* strchr(const char* text, int character);
char* strrchr(const char* text, int character);
char* strpbrk(const char* text, const char* characters);
char* strstr(const char* text, const char* part);

#ifdef __cplusplus
}
#endif

#endif
