// A benchmark program that times ours and the peer in one run ends with
// their ratios, so the figures can be compared from one run to the next.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct TBenchRatio {
  const char* Ours;
  const char* Peer;
  const char* Bound;  // what the ratio should stay within
};

// Keeps each run's processor time per iteration (steadier than the wall
// clock on a busy machine) and prints the ratios at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit TRatioReporter(std::vector<TBenchRatio> Ratios) : ratios_(std::move(Ratios)) {}
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& r : Runs)
      if (r.iterations > 0) times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(Runs);
  }
  void PrintRatios() const {
    for (const TBenchRatio& r : ratios_) {
      auto a = times_.find(r.Ours), b = times_.find(r.Peer);
      if (a == times_.end() || b == times_.end() || b->second <= 0) continue;
      std::printf("%-24s / %-22s = %.2f  (%s)\n", r.Ours, r.Peer, a->second / b->second, r.Bound);
    }
  }

 private:
  std::vector<TBenchRatio> ratios_;
  std::map<std::string, double> times_;
};

// main() of such a program.
inline int RunWithRatios(int argc, char** argv, std::vector<TBenchRatio> Ratios) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter(std::move(Ratios));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
