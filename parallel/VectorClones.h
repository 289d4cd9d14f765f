#pragma once

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
