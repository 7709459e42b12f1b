// The form in which every benchmark program measures, reports and decides.
//
// A figure is measured in repetitions (five unless the program is told
// otherwise); each repetition gives one sample, and a figure is printed as
// the min, median and max of its samples. A goal holds the median: either
// to a fixed limit, or to a multiple of a baseline that the same program
// measured in the same run, repetition for repetition beside the figure, so
// that both see the same machine. Every goal's line names the goal, the
// figure, the ratio (to the baseline, or to the limit) and whether it was
// met:
//
//   baseline  plain read, 10,000 entries     CPU ms   min 0.403  median 0.421  max 0.452
//   goal      ListEntryNames, 10,000 entries CPU ms   min 5.19   median 5.23   max 5.40    12.4 x plain read   goal <= 33.0 x   met
//   goal      main menu, 50,000 entries      MiB      min 15.3   median 15.3   max 15.4    0.958 of the limit  goal <= 16.0     met
//
// The program ends with ExitStatus(): 0 when every goal was met, 1 when one
// was missed.
//
// Times are CPU time (user and system) of the thread or child that does the
// work, unless a program says otherwise: the machine these run on is shared,
// and CPU time keeps the figure to the work done instead of the waiting for
// a core. Where the work cannot do without a wait (a flush to the disk), a
// program compares wall time and says so.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

// CPU time of the calling thread, in milliseconds.
inline double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Wall-clock time in milliseconds.
inline double WallMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The repetitions a program makes: --repetitions N on its command line,
// else VEZ_BENCH_REPETITIONS from the environment, else 5.
inline int Repetitions(int argc, char** argv, int fallback = 5) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--repetitions") == 0) return std::max(1, std::atoi(argv[i + 1]));
  }
  const char* env = std::getenv("VEZ_BENCH_REPETITIONS");
  return env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : fallback;
}

struct Figures {
  double min = 0;
  double median = 0;
  double max = 0;
};

inline Figures Summarise(std::vector<double> samples) {
  Figures f;
  if (samples.empty()) return f;
  std::sort(samples.begin(), samples.end());
  const size_t n = samples.size();
  f.min = samples.front();
  f.max = samples.back();
  f.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
  return f;
}

// Every sample divided by `by` (a per-entry cost from a per-operation one).
inline Figures Scaled(const Figures& f, double by) { return Figures{f.min / by, f.median / by, f.max / by}; }

// Three significant digits or so, without an exponent.
inline std::string Number(double v) {
  char text[32];
  const double a = v < 0 ? -v : v;
  std::snprintf(text, sizeof text, a >= 100 ? "%.0f" : a >= 10 ? "%.1f" : a >= 1 ? "%.2f" : "%.3f", v);
  return text;
}

class Report {
 public:
  // A figure measured for comparison, without a goal of its own.
  void Baseline(const std::string& what, const std::string& unit, const Figures& f) { Line("baseline", what, unit, f, ""); }
  void Info(const std::string& what, const std::string& unit, const Figures& f) { Line("figure", what, unit, f, ""); }

  // A figure beside a baseline, with their ratio of medians, without a goal.
  void Compare(const std::string& what, const std::string& unit, const Figures& f, const std::string& baseline_name,
               const Figures& baseline) {
    const double ratio = baseline.median > 0 ? f.median / baseline.median : 0;
    char tail[160];
    std::snprintf(tail, sizeof tail, "  %s", (Number(ratio) + " x " + baseline_name).c_str());
    Line("figure", what, unit, f, tail);
  }

  // Goal: the figure's median at most `limit` times the baseline's median.
  void AtMostTimes(const std::string& what, const std::string& unit, const Figures& f, const std::string& baseline_name,
                   const Figures& baseline, double limit) {
    const double ratio = baseline.median > 0 ? f.median / baseline.median : 0;
    Decide(what, unit, f, Number(ratio) + " x " + baseline_name, "goal <= " + Number(limit) + " x",
           baseline.median > 0 && ratio <= limit);
  }

  // Goal: the figure's median at most `limit` (in the figure's unit).
  void AtMost(const std::string& what, const std::string& unit, const Figures& f, double limit) {
    const double ratio = f.median / limit;
    Decide(what, unit, f, Number(ratio) + " of the limit", "goal <= " + Number(limit), f.median <= limit);
  }

  // A run that went wrong (an operation that failed, a child that did not
  // end well): a missed goal, whatever the figures say.
  void Fault(const std::string& what) {
    std::printf("FAULT     %s\n", what.c_str());
    std::fflush(stdout);
    ++missed_;
  }

  int ExitStatus() const {
    std::printf("%d goals met, %d missed\n", met_, missed_);
    return missed_ == 0 ? 0 : 1;
  }

 private:
  void Decide(const std::string& what, const std::string& unit, const Figures& f, const std::string& ratio,
              const std::string& goal, bool met) {
    char tail[160];
    std::snprintf(tail, sizeof tail, "  %-26s %-14s %s", ratio.c_str(), goal.c_str(), met ? "met" : "MISSED");
    Line("goal", what, unit, f, tail);
    ++(met ? met_ : missed_);
  }

  static void Line(const char* kind, const std::string& what, const std::string& unit, const Figures& f,
                   const std::string& tail) {
    std::printf("%-9s %-50s %-8s min %-7s median %-7s max %-7s%s\n", kind, what.c_str(), unit.c_str(),
                Number(f.min).c_str(), Number(f.median).c_str(), Number(f.max).c_str(), tail.c_str());
    std::fflush(stdout);
  }

  int met_ = 0;
  int missed_ = 0;
};

}  // namespace bench
