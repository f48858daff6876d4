#include "bench/pass_cost.hpp"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <functional>

#include "bench/ip_tool_network_operations.hpp"
#include "bench/link_control.hpp"
#include "bench/process_runner.hpp"
#include "helper/coordinators/enforcement_coordinator.hpp"

namespace nubrik::bench {

namespace {

using NetworkFactory = std::function<std::unique_ptr<NetworkSwitches>()>;

// CPU time of this process and of the children it has reaped, in nanoseconds. The children
// matter: a backend that forks does most of its work in them.
struct CpuTime {
  int64_t self = 0;
  int64_t children = 0;

  static CpuTime now() {
    timespec own{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &own);
    rusage reaped{};
    ::getrusage(RUSAGE_CHILDREN, &reaped);
    const auto nanoseconds = [](const timeval& value) {
      return static_cast<int64_t>(value.tv_sec) * 1'000'000'000 + value.tv_usec * 1000;
    };
    return {static_cast<int64_t>(own.tv_sec) * 1'000'000'000 + own.tv_nsec,
            nanoseconds(reaped.ru_utime) + nanoseconds(reaped.ru_stime)};
  }
  CpuTime operator-(const CpuTime& earlier) const {
    return {self - earlier.self, children - earlier.children};
  }
  CpuTime& operator+=(const CpuTime& more) {
    self += more.self;
    children += more.children;
    return *this;
  }
};

void reportCounters(benchmark::State& state, const CpuTime& spent, unsigned long commands) {
  using benchmark::Counter;
  state.counters["cpu_us"] =
      Counter(static_cast<double>(spent.self + spent.children) / 1e3, Counter::kAvgIterations);
  state.counters["child_cpu_us"] =
      Counter(static_cast<double>(spent.children) / 1e3, Counter::kAvgIterations);
  state.counters["commands"] = Counter(static_cast<double>(commands), Counter::kAvgIterations);
}

const char* outcomeName(EnforcementOutcome outcome) {
  switch (outcome) {
    case EnforcementOutcome::noCorrectionNeeded:
      return "noCorrectionNeeded";
    case EnforcementOutcome::corrected:
      return "corrected";
    case EnforcementOutcome::correctionFailed:
      return "correctionFailed";
  }
  return "?";
}

void failOutcome(benchmark::State& state, EnforcementOutcome expected, EnforcementOutcome got) {
  const std::string message =
      std::string("expected ") + outcomeName(expected) + ", the pass returned " + outcomeName(got);
  state.SkipWithError(message.c_str());
}

// The steady state of a session: every link is already down, so the pass only looks.
// With freshBackend the backend is built for every pass, its socket opened anew.
void allDownPass(benchmark::State& state, const NetworkFactory& network, bool freshBackend) {
  const std::unique_ptr<NetworkSwitches> kept = network();
  const EnforcementCoordinator reused(*kept, {});
  const CpuTime before = CpuTime::now();
  const unsigned long commandsBefore = commandsStarted();
  for (auto _ : state) {
    const EnforcementOutcome outcome =
        freshBackend ? EnforcementCoordinator(*network(), {}).enforce() : reused.enforce();
    if (outcome != EnforcementOutcome::noCorrectionNeeded) {
      failOutcome(state, EnforcementOutcome::noCorrectionNeeded, outcome);
      break;
    }
  }
  reportCounters(state, CpuTime::now() - before, commandsStarted() - commandsBefore);
}

// Every link has come back on: the pass brings all of them down again. Turning them on is not
// part of the measurement.
void allUpPass(benchmark::State& state, const NetworkFactory& network,
               const std::vector<int>& indexes) {
  const std::unique_ptr<NetworkSwitches> backend = network();
  const EnforcementCoordinator coordinator(*backend, {});
  LinkControl control;
  CpuTime spent;
  unsigned long commands = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (const int index : indexes) control.setUp(index, true);
    state.ResumeTiming();
    const CpuTime before = CpuTime::now();
    const unsigned long commandsBefore = commandsStarted();
    const EnforcementOutcome outcome = coordinator.enforce();
    spent += CpuTime::now() - before;
    commands += commandsStarted() - commandsBefore;
    if (outcome != EnforcementOutcome::corrected) {
      failOutcome(state, EnforcementOutcome::corrected, outcome);
      break;
    }
  }
  // Leaves the links as found even when a pass failed half-way.
  for (const int index : indexes) control.setUp(index, false);
  reportCounters(state, spent, commands);
}

// The listing alone: one link dump.
void listingOnly(benchmark::State& state, const NetworkFactory& network) {
  const std::unique_ptr<NetworkSwitches> backend = network();
  const CpuTime before = CpuTime::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(backend->read(SwitchKind::interface, Listing::switchable));
  }
  reportCounters(state, CpuTime::now() - before, 0);
}

// Keeps every finished run for the summary while the console reporter prints as usual.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal; a log file gets plain text.
  CollectingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      PassCost cost;
      cost.name = run.benchmark_name();
      cost.iterations = run.iterations;
      if (run.error_occurred) cost.error = run.error_message;
      const auto counter = [&](const char* name) {
        const auto found = run.counters.find(name);
        return found == run.counters.end() ? 0.0 : found->second.value;
      };
      cost.cpuMicroseconds = counter("cpu_us");
      cost.childCpuMicroseconds = counter("child_cpu_us");
      cost.commandsPerPass = counter("commands");
      cost.wallMicroseconds = run.GetAdjustedRealTime();  // in the run's unit, microseconds
      collected.push_back(std::move(cost));
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::vector<PassCost> collected;
};

}  // namespace

std::vector<PassCost> runPassCostBenchmarks(const std::vector<std::string>& links) {
  std::vector<int> indexes;
  for (const std::string& link : links) indexes.push_back(linkIndex(link));
  const NetworkFactory netlink = [] { return productionNetworkSwitches(); };
  const NetworkFactory ipPerObject = [] { return std::make_unique<IpToolNetworkSwitches>(); };

  // Iteration counts follow wall time: the forking backend spends most of its time in children,
  // so process CPU time alone would run it for minutes.
  const auto configure = [](benchmark::internal::Benchmark* benchmark) {
    benchmark->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime()->MinTime(1.0);
  };
  configure(benchmark::RegisterBenchmark(
      netlinkSteadyName, [=](benchmark::State& state) { allDownPass(state, netlink, false); }));
  configure(benchmark::RegisterBenchmark(
      netlinkFreshSteadyName, [=](benchmark::State& state) { allDownPass(state, netlink, true); }));
  configure(benchmark::RegisterBenchmark(
      ipSteadyName, [=](benchmark::State& state) { allDownPass(state, ipPerObject, false); }));
  configure(benchmark::RegisterBenchmark(
      netlinkCorrectingName, [=](benchmark::State& state) { allUpPass(state, netlink, indexes); }));
  configure(benchmark::RegisterBenchmark(
      ipCorrectingName, [=](benchmark::State& state) { allUpPass(state, ipPerObject, indexes); }));
  configure(benchmark::RegisterBenchmark(
      netlinkListingName, [=](benchmark::State& state) { listingOnly(state, netlink); }));

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return std::move(reporter.collected);
}

}  // namespace nubrik::bench
