// Point-by-point loops worth building twice: for plain x86-64 and for AVX2,
// the one to run chosen when the program loads by what the processor has.
// The same operations in the same order either way, so results agree to
// the bit (no fused multiply-add: the build does not contract).  Elsewhere
// (other processors, clang, the sanitizers) there is one build.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_ADDRESS__)
#define OM_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define OM_VECTOR_CLONES
#endif
