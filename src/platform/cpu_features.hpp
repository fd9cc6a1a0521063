// The processor's vector extensions, for the kernels that choose their path
// at run time: one definition of the AVX-512 set they are written for.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Kernels for the set below can be built with this compiler.
#define VARNOLT_AVX512_KERNELS 1
// Builds a function for that set (byte permutes and compresses); call it only
// where HasAvx512Kernels().
#define VARNOLT_AVX512_TARGET                                                                      \
    __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")))
// GCC's AVX-512 headers start some results from a self-initialised
// "undefined" register, which its flow analysis reports as maybe
// uninitialised; these bracket the kernels that use them.
#if defined(__clang__)
#define VARNOLT_AVX512_KERNELS_BEGIN
#define VARNOLT_AVX512_KERNELS_END
#else
#define VARNOLT_AVX512_KERNELS_BEGIN                                                               \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")
#define VARNOLT_AVX512_KERNELS_END _Pragma("GCC diagnostic pop")
#endif
#endif

namespace varnolt::platform {

// True when the processor runs code built with VARNOLT_AVX512_TARGET;
// asked once.
inline bool HasAvx512Kernels() {
#if defined(VARNOLT_AVX512_KERNELS)
    static const bool bHas =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
        __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
        __builtin_cpu_supports("popcnt");
    return bHas;
#else
    return false;
#endif
}

} // namespace varnolt::platform
