#pragma once

// The platform's basic types, under the names the program's code uses.

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
