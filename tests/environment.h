#pragma once
// setenv and unsetenv for tests that change the plug-ins' settings, also
// where the C library lacks them (Windows sets and removes variables with
// _putenv_s).

#include <cstdlib>

#if defined(_WIN32)
inline int setenv(const char* name, const char* value, int) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif
