// What the processor offers beyond the x86-64 baseline, for the code that
// picks a vector path at run time. Each user keeps its own limit (a test
// hook) and names what its widest path needs.
#pragma once

struct TCpuFeatures {
  bool Avx2 = false;
  bool Avx512F = false, Avx512Bw = false, Avx512Vl = false, Avx512Vbmi = false;
};

// Read once; all false off x86-64 (and where the system does not save the
// wide registers). Tests may hide some (cpu_seam.h).
const TCpuFeatures& CpuFeatures();

// The widest vectors in bits (512, 256 or 0) within Limit: 512 where the
// 512-bit code's needs hold (Has512, worked out from CpuFeatures()), else
// 256 where the processor has AVX2, else 0.
int CpuVectorBits(bool Has512, int Limit);
