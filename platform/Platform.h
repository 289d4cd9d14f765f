#pragma once

// The operating-system calls the program makes by name: on Windows the
// system's own, elsewhere stand-ins of the same names; and a few calls of
// the project's own, on every system.

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

// Copies the current directory with its terminator into buffer when it fits
// in bufferLength characters and returns its length without the terminator;
// otherwise leaves buffer alone and returns the length needed, terminator
// included. Returns 0 on failure.
DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);

// Deletes a file; FALSE when it could not be deleted.
BOOL DeleteFileA(LPCSTR fileName);

#endif

// What the dynamic loader said when the last LoadLibraryA of this process
// failed; empty when none has failed (or, on Windows, when it cannot tell).
std::string LibraryLoadFailure();

// Lowers the calling thread's priority by the given number of steps below
// normal (a negative THREAD_PRIORITY_ value); normal or higher changes
// nothing. On Linux each step adds 5 to the thread's own nice value; on
// Windows it is the thread's own priority.
void LowerCurrentThreadPriority(int priority);

// How many processors this process may run on: those of its affinity mask
// (narrowed by taskset or a container's CPU set, say), at least 1. Work
// shared among more threads than this only waits its turn.
int UsableProcessorCount();

// Makes a written file, and its entry in its folder, durable on disk (a
// power failure afterwards cannot lose it). For a symbolic link, the file it
// leads to and the entries of both. FALSE when any of that failed.
BOOL FlushFileToDisk(LPCSTR fileName);

// A path in the form in which every spelling of one file name compares
// equal on this system: as it is on POSIX, in one letter case on Windows.
std::string FileNameKey(std::string path);

// The system's words for the error of the call that failed last on this
// thread (errno, or GetLastError on Windows).
std::string LastErrorText();
