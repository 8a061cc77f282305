#pragma once
// Runs a macOS x86-64 plug-in (a Mach-O bundle, .mexmaci64) in this Linux
// process, against the stand-in host.
//
// macOS and Linux share the x86-64 calling convention, so once the bundle is
// laid out in memory as dyld would lay it out, its mexFunction can be called
// like any other build's. The loader does what dyld does for a bundle with
// classic (opcode) fix-up information: maps the segments, slides the rebased
// pointers, binds every import, lazy ones at once, runs the initialisers and
// looks _mexFunction up in the export trie. Imports from @rpath/libmx.dylib,
// libmex.dylib and libmat.dylib bind to the stand-in host, imports from
// /usr/lib/libSystem.B.dylib to the C library; any other library, or a name
// that neither has, refuses the bundle.
//
// Not handled, since the plug-ins need none of it: chained fix-ups, thread
// local variables, weak definitions shared with other images. The bundle's
// frames have macOS unwind information only, so an error that the host
// raises inside a call (mexErrMsgTxt) cannot pass through them: run only
// calls that complete.

#include <string>

#include "standin.h"

// Whether the file starts as a 64-bit Mach-O file.
bool isMachOFile(const std::string& path);

// Loads the bundle (once for each path) and returns its mexFunction. Throws
// std::runtime_error saying what it cannot do.
standin::MexFunction loadMachOBundle(const std::string& path);

// The address of a function or variable defined in a loaded bundle, local
// ones included, by its symbol name (e.g. "__Z16widestVectorUnitv"); nullptr
// when the bundle has no such symbol.
void* machOBundleSymbol(const std::string& path, const std::string& name);
