#include "platform/cpu/cpu.h"

#include <algorithm>

const TCpuFeatures& CpuFeatures() {
  static const TCpuFeatures features = [] {
    TCpuFeatures f;
#if defined(__x86_64__)
    // The compiler's check also asks the system whether it saves the
    // registers of that width.
    f.Avx2 = __builtin_cpu_supports("avx2");
    f.Avx512F = __builtin_cpu_supports("avx512f");
    f.Avx512Bw = __builtin_cpu_supports("avx512bw");
    f.Avx512Vl = __builtin_cpu_supports("avx512vl");
    f.Avx512Vbmi = __builtin_cpu_supports("avx512vbmi");
#endif
    return f;
  }();
  return features;
}

int CpuVectorBits(bool Has512, int Limit) {
  const int has = Has512 ? 512 : CpuFeatures().Avx2 ? 256 : 0;
  return std::min(has, Limit);
}
