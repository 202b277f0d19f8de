// Test cases forced onto one vector width, each width a case of its own.
// Where the processor lacks the width, the forced path falls back to a
// narrower one and the case would only compare that path with itself: it is
// skipped instead, saying why. Every case also runs, disabled, under a
// processor check that reports no AVX-512, so that a test can show the skip.
//
// A suite is TVectorWidthTest over its fixture and the area's limit and
// width hooks, instantiated with TAL_VECTOR_WIDTH_CASES.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "platform/cpu/cpu_seam.h"
#include "tests/main/test_program.h"

struct TVectorWidth {
  int Bits;
  bool WithoutAvx512;  // the processor check hides AVX-512
};

inline void PrintTo(const TVectorWidth& Width, std::ostream* Out) {
  *Out << Width.Bits << " bits" << (Width.WithoutAvx512 ? ", AVX-512 hidden" : "");
}

inline std::string LacksVectorWidth(int Bits) {
  return "this processor lacks " + std::to_string(Bits) +
         "-bit vectors: the forced path falls back to a narrower one, which this case would "
         "compare with itself";
}

// Fixture's cases with the vectors limited to the case's width by Limit;
// Bits tells the width the paths then take.
template <class Fixture, void (*Limit)(int), int (*Bits)()>
class TVectorWidthTest : public Fixture, public testing::WithParamInterface<TVectorWidth> {
 protected:
  void SetUp() override {
    if (GetParam().WithoutAvx512)
      CpuHideFeatures({.Avx512F = true, .Avx512Bw = true, .Avx512Vl = true, .Avx512Vbmi = true});
    Fixture::SetUp();
    Limit(GetParam().Bits);
    if (Bits() != GetParam().Bits) GTEST_SKIP() << LacksVectorWidth(GetParam().Bits);
  }
  void TearDown() override {
    Fixture::TearDown();
    CpuHideFeatures({});
  }
};

inline std::string VectorWidthName(const testing::TestParamInfo<TVectorWidth>& Info) {
  return "Vectors" + std::to_string(Info.param.Bits);
}

inline std::vector<TVectorWidth> VectorWidths(std::initializer_list<int> Bits, bool WithoutAvx512) {
  std::vector<TVectorWidth> out;
  for (int b : Bits) out.push_back({b, WithoutAvx512});
  return out;
}

// The suite's cases at each of the widths given (in bits).
#define TAL_VECTOR_WIDTH_CASES(Suite, ...)                                                       \
  INSTANTIATE_TEST_SUITE_P(Widths, Suite, testing::ValuesIn(VectorWidths({__VA_ARGS__}, false)), \
                           VectorWidthName);                                                     \
  INSTANTIATE_TEST_SUITE_P(DISABLED_WithoutAvx512, Suite,                                        \
                           testing::ValuesIn(VectorWidths({__VA_ARGS__}, true)), VectorWidthName)

// Runs the suite's cases under the check that reports no AVX-512: each
// 512-bit case is skipped with the reason, the narrower ones of Bits still
// run.
inline void ExpectSkippedWithoutAvx512(const std::string& Suite,
                                       const std::vector<std::string>& Tests,
                                       std::initializer_list<int> Bits) {
  const std::string prefix = "DISABLED_WithoutAvx512/" + Suite + ".";
  const TTestProgramRun run = RunThisTestProgram(prefix + "*", 300);
  ASSERT_TRUE(run.Ended) << run.Output;
  EXPECT_EQ(run.ExitCode, 0) << run.Output;
  EXPECT_NE(run.Output.find(LacksVectorWidth(512)), std::string::npos) << run.Output;
  for (const std::string& test : Tests)
    for (int bits : Bits) {
      // Only AVX-512 is hidden: 256 bits stand or fall with AVX2.
      const bool runs = bits == 0 || (bits == 256 && CpuFeatures().Avx2);
      const std::string line = std::string(runs ? "[       OK ] " : "[  SKIPPED ] ") + prefix +
                               test + "/Vectors" + std::to_string(bits);
      EXPECT_NE(run.Output.find(line), std::string::npos) << line << "\n" << run.Output;
    }
}
