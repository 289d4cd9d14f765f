#pragma once

// The platform's basic types, under the names the program's code uses: the
// system's own on Windows, the same names and sizes elsewhere.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cstdint>

using BOOL = int;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPCTSTR = const char*;
using HMODULE = void*;
using FARPROC = void (*)();
#endif
