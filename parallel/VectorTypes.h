#pragma once

#include <cstdint>

// The compiler's portable vector types that the hot loops use, and the
// marker of functions built for wider vectors.

// Marks a function whose loops are built for wider vectors as well (AVX2,
// and AVX-512 with its 256-bit forms), the variant chosen at run time. GCC
// on x86-64 with ELF binaries (Windows binaries have no run-time choice of
// function); not under ThreadSanitizer, whose run time is not yet up when
// the choice is made.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define TESSARY_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define TESSARY_VECTOR_CLONES
#endif

// Vectors of lanes, named by lane type and count; 32 bytes is one AVX2
// register. GCC and clang only.
#if defined(__GNUC__)
#define TESSARY_HAVE_VECTOR_TYPES 1
namespace vectors {
using I16x16 = std::int16_t __attribute__((vector_size(32)));
using U16x16 = std::uint16_t __attribute__((vector_size(32)));
using U32x8 = std::uint32_t __attribute__((vector_size(32)));
using U8x32 = std::uint8_t __attribute__((vector_size(32)));
using U8x16 = std::uint8_t __attribute__((vector_size(16)));
using U8x8 = std::uint8_t __attribute__((vector_size(8)));
using U8x4 = std::uint8_t __attribute__((vector_size(4)));
using F32x8 = float __attribute__((vector_size(32)));
}  // namespace vectors
#endif
