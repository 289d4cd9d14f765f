#pragma once

// Shared libraries loaded and their exports looked up by name: on Windows
// the system's own calls, elsewhere stand-ins of the same names.

#include <string>

#include "WinTypes.h"

#ifndef _WIN32

// Loads a shared library. A bare name ending in ".dll" stands for this
// platform's library file of that name (libName.so), looked up first in the
// running program's own folder, then in the installed tree's private library
// folder beside it (TESSARY_INSTALL_LIBDIR under ..), then by the platform's
// standard search.
// Returns null on failure and prints nothing.
HMODULE LoadLibraryA(LPCSTR fileName);

// Looks up an exported function by name; null when absent.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

// Releases a library loaded by LoadLibraryA.
BOOL FreeLibrary(HMODULE module);

// Copies the full path of the running program (module must be null) into
// buffer, cut to fit and always terminated; returns the characters copied.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

#endif

// What the dynamic loader said when the last LoadLibraryA of this process
// failed; empty when none has failed (or, on Windows, when it cannot tell).
std::string LibraryLoadFailure();
