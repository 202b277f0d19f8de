// A benchmark program that times ours and the peer in one run ends with
// their ratios, so the figures can be compared from one run to the next; one
// whose figure has a bound of its own in time ends with the figure beside it.
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

struct TBenchBound {
  const char* Name;
  double Most;  // in the benchmark's own time unit
};

// Keeps each run's processor time per iteration (steadier than the wall
// clock on a busy machine) and prints the ratios at the end: with
// --benchmark_repetitions, the ratio of the medians and the least and most
// of the ratios repetition by repetition.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit TRatioReporter(std::vector<TBenchRatio> Ratios, std::vector<TBenchBound> Bounds = {})
      : ratios_(std::move(Ratios)), bounds_(std::move(Bounds)) {}
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& r : Runs)
      if (r.iterations > 0 && !r.error_occurred && r.run_type == Run::RT_Iteration) {
        times_[r.run_name.str()].push_back(r.GetAdjustedCPUTime());
        units_[r.run_name.str()] = benchmark::GetTimeUnitString(r.time_unit);
      }
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
    for (const TBenchBound& b : bounds_) {
      auto t = times_.find(b.Name);
      if (t == times_.end()) continue;
      const auto [least, most] = std::minmax_element(t->second.begin(), t->second.end());
      const char* unit = units_.at(b.Name).c_str();
      std::printf("%-26s = %.2f %s  [%.2f-%.2f]  (at most %.0f %s)\n", b.Name, Median(t->second),
                  unit, *least, *most, b.Most, unit);
    }
  }

 private:
  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }
  std::vector<TBenchRatio> ratios_;
  std::vector<TBenchBound> bounds_;
  std::map<std::string, std::vector<double>> times_;
  std::map<std::string, std::string> units_;
};

// main() of such a program. Repetitions run in rounds of every benchmark
// once, in a new order each round, unless the command line says otherwise:
// ours and the peer then meet the same load on a busy machine, and each
// round's ratio compares like with like.
inline int RunWithRatios(int argc, char** argv, std::vector<TBenchRatio> Ratios,
                         std::vector<TBenchBound> Bounds = {}) {
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> args(argv, argv + argc);
  args.insert(args.begin() + (argc > 0 ? 1 : 0), interleave.data());
  argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter(std::move(Ratios), std::move(Bounds));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
