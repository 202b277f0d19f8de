// A benchmark program that times ours and the peer in one run ends with
// their ratios, so the figures can be compared from one run to the next.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
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
// clock on a busy machine) and prints the ratios at the end: with
// --benchmark_repetitions, the ratio of the medians and the least and most
// of the ratios repetition by repetition.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit TRatioReporter(std::vector<TBenchRatio> Ratios) : ratios_(std::move(Ratios)) {}
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& r : Runs)
      if (r.iterations > 0 && !r.error_occurred && r.run_type == Run::RT_Iteration)
        times_[r.run_name.str()].push_back(r.GetAdjustedCPUTime());
    ConsoleReporter::ReportRuns(Runs);
  }
  void PrintRatios() const {
    for (const TBenchRatio& r : ratios_) {
      auto a = times_.find(r.Ours), b = times_.find(r.Peer);
      if (a == times_.end() || b == times_.end()) continue;
      const std::vector<double>&ours = a->second, &peer = b->second;
      const double median = Median(ours) / Median(peer);
      if (ours.size() < 2 || ours.size() != peer.size()) {
        std::printf("%-26s / %-22s = %.2f  (%s)\n", r.Ours, r.Peer, median, r.Bound);
        continue;
      }
      double least = median, most = median;
      for (size_t i = 0; i < ours.size(); ++i) {
        least = std::min(least, ours[i] / peer[i]);
        most = std::max(most, ours[i] / peer[i]);
      }
      std::printf("%-26s / %-22s = %.2f  [%.2f-%.2f]  (%s)\n", r.Ours, r.Peer, median, least, most,
                  r.Bound);
    }
  }

 private:
  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  std::vector<TBenchRatio> ratios_;
  std::map<std::string, std::vector<double>> times_;
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
