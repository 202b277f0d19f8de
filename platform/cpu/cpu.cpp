#include "platform/cpu/cpu.h"

#include <algorithm>

#include "platform/cpu/cpu_seam.h"

namespace {

const TCpuFeatures& Detected() {
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

// What callers are told: the processor's features, less what a test hid.
TCpuFeatures& Reported() {
  static TCpuFeatures reported = Detected();
  return reported;
}

}  // namespace

const TCpuFeatures& CpuFeatures() {
  return Reported();
}

void CpuHideFeatures(const TCpuFeatures& Hidden) {
  const TCpuFeatures& has = Detected();
  TCpuFeatures& r = Reported();
  r.Avx2 = has.Avx2 && !Hidden.Avx2;
  r.Avx512F = has.Avx512F && !Hidden.Avx512F;
  r.Avx512Bw = has.Avx512Bw && !Hidden.Avx512Bw;
  r.Avx512Vl = has.Avx512Vl && !Hidden.Avx512Vl;
  r.Avx512Vbmi = has.Avx512Vbmi && !Hidden.Avx512Vbmi;
}

int CpuVectorBits(bool Has512, int Limit) {
  const int has = Has512 ? 512 : CpuFeatures().Avx2 ? 256 : 0;
  return std::min(has, Limit);
}
