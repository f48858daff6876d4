// nubrik_bench: measures, in one run inside a throwaway network namespace,
//  - how long the running daemon takes to force a link down again after another process turned
//    it on (a plain measured loop over the real daemon binary), and
//  - the CPU time of one enforcement pass over 16 links with the rtnetlink backend and with a
//    backend that runs the ip tool per object (Google Benchmark),
//  - at 16 and at 1,024 links, the daemon side by side with the least an enforcer can do: its
//    re-enforcement latency against a minimal enforcer's, and its timer's pass against the
//    kernel's link dump alone,
// and prints a summary of all of it. Needs root; exits 77 when namespaces are not available.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "bench/comparison_report.hpp"
#include "bench/enforcement_latency.hpp"
#include "bench/ip_tool_network_operations.hpp"
#include "bench/link_control.hpp"
#include "bench/network_sandbox.hpp"
#include "bench/pass_cost.hpp"
#include "bench/statistics.hpp"
#include "helper/net/network_switches.hpp"

namespace nubrik::bench {

namespace {

constexpr int skipStatus = 77;
constexpr size_t linkCount = 16;
constexpr size_t largeLinkCount = 1024;
constexpr double medianTargetMilliseconds = 2;
constexpr double p99TargetMilliseconds = 10;
constexpr double passTargetMicroseconds = 100;
constexpr double ratioTarget = 100;

struct Options {
  LatencyOptions latency;
  // Trials of each enforcer at the large link count, where each daemon trial is slower.
  int largeTrials = 200;
  std::vector<char*> benchmarkArguments;  // argv[0] and everything not ours
};

std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  options.latency.helperPath = NUBRIK_BENCH_HELPER_PATH;
  options.benchmarkArguments.push_back(argv[0]);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    const auto number = [&](int minimum) -> std::optional<int> {
      const std::optional<std::string> text = value();
      if (!text) return std::nullopt;
      char* end = nullptr;
      const long parsed = std::strtol(text->c_str(), &end, 10);
      if (end == text->c_str() || *end != '\0' || parsed < minimum || parsed > 1'000'000) {
        return std::nullopt;
      }
      return static_cast<int>(parsed);
    };
    if (argument == "--helper") {
      const std::optional<std::string> path = value();
      if (!path) return std::nullopt;
      options.latency.helperPath = *path;
    } else if (argument == "--trials") {
      const std::optional<int> trials = number(1);
      if (!trials) return std::nullopt;
      options.latency.trials = *trials;
    } else if (argument == "--block-trials") {
      const std::optional<int> trials = number(1);
      if (!trials) return std::nullopt;
      options.latency.blockTrials = *trials;
    } else if (argument == "--large-trials") {
      const std::optional<int> trials = number(1);
      if (!trials) return std::nullopt;
      options.largeTrials = *trials;
    } else if (argument == "--gap-ms") {
      const std::optional<int> gap = number(0);
      if (!gap) return std::nullopt;
      options.latency.gapMilliseconds = *gap;
    } else {
      options.benchmarkArguments.push_back(argv[i]);
    }
  }
  return options;
}

// The first three fields of /proc/loadavg: how busy the machine was while measuring.
std::string loadAverage() {
  std::FILE* file = std::fopen("/proc/loadavg", "re");
  if (file == nullptr) return "unknown";
  double one = 0, five = 0, fifteen = 0;
  const int read = std::fscanf(file, "%lf %lf %lf", &one, &five, &fifteen);
  std::fclose(file);
  if (read != 3) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
  return text;
}

// How many targets this run missed; the run fails when any was.
int missedTargets = 0;

const char* verdict(bool met) {
  if (!met) ++missedTargets;
  return met ? "met" : "MISSED";
}

// Both backends must see the same links before their passes are compared.
void checkBackendsAgree(std::vector<std::string>& problems) {
  try {
    const auto names = [](NetworkSwitches& backend) {
      NameList listed;
      for (const SwitchReading& link : backend.read(SwitchKind::interface, Listing::switchable)) {
        listed.push_back(link.name);
      }
      return listed;
    };
    IpToolNetworkSwitches ipTool;
    NameList netlink = names(*productionNetworkSwitches());
    NameList ip = names(ipTool);
    std::sort(netlink.begin(), netlink.end());
    std::sort(ip.begin(), ip.end());
    if (netlink != ip) problems.push_back("the two backends list different interfaces");
    if (netlink.size() != linkCount) {
      problems.push_back("the rtnetlink backend lists " + std::to_string(netlink.size()) +
                         " interfaces instead of " + std::to_string(linkCount));
    }
  } catch (const std::exception& error) {
    problems.push_back(std::string("listing the interfaces failed: ") + error.what());
  }
}

const PassCost* findCost(const std::vector<PassCost>& costs, const char* name) {
  // Google Benchmark appends the run's settings ("/min_time:1.000/...") to the name.
  const std::string prefix = std::string(name) + "/";
  for (const PassCost& cost : costs) {
    if (cost.name == name || cost.name.starts_with(prefix)) return &cost;
  }
  return nullptr;
}

std::string costCell(const PassCost* cost) {
  if (cost == nullptr) return "not run";
  if (!cost->error.empty()) return "failed";
  char text[64];
  std::snprintf(text, sizeof text, "%9.1f us (%.0f cmds)", cost->cpuMicroseconds,
                cost->commandsPerPass);
  return text;
}

// Splits the trials by what the daemon did meanwhile, so a slow tail can be told apart from a
// slow pass: time on a CPU versus time runnable but waiting for one.
void printSchedulerSplit(const LatencyResult& latency) {
  const size_t n = latency.milliseconds.size();
  if (latency.daemonRunningMilliseconds.size() != n ||
      latency.daemonWaitingMilliseconds.size() != n ||
      latency.benchWaitingMilliseconds.size() != n || n == 0) {
    return;
  }
  std::vector<double> running = latency.daemonRunningMilliseconds;
  std::vector<double> waiting = latency.daemonWaitingMilliseconds;
  std::sort(running.begin(), running.end());
  std::sort(waiting.begin(), waiting.end());
  std::printf(
      "    daemon per trial  on a CPU median %.3f ms; runnable, waiting for a CPU median %.3f ms\n",
      median(running), median(waiting));

  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return latency.milliseconds[a] > latency.milliseconds[b]; });
  const size_t slowest = std::max<size_t>(1, n / 100);
  double total = 0, ran = 0, waited = 0, benchWaited = 0;
  for (size_t i = 0; i < slowest; ++i) {
    total += latency.milliseconds[order[i]];
    ran += latency.daemonRunningMilliseconds[order[i]];
    waited += latency.daemonWaitingMilliseconds[order[i]];
    benchWaited += latency.benchWaitingMilliseconds[order[i]];
  }
  const double count = static_cast<double>(slowest);
  std::printf(
      "    slowest 1%% (%zu)   mean %.3f ms: the daemon ran %.3f ms and waited for a CPU\n"
      "                      %.3f ms; the bench waited for a CPU %.3f ms\n",
      slowest, total / count, ran / count, waited / count, benchWaited / count);
}

// "2 bridge, 2 tap, 12 veth": how many links of each kind.
std::string describeKinds(const std::vector<SandboxLink>& links) {
  std::map<std::string, int> kinds;
  for (const SandboxLink& link : links) ++kinds[link.kind];
  std::string text;
  for (const auto& [kind, count] : kinds) {
    text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + kind;
  }
  return text;
}

struct MachineLoad {
  std::string beforeTrials;
  std::string afterTrials;
};

void printSummary(const std::vector<SandboxLink>& links, const LatencyOptions& latencyOptions,
                  const std::optional<LatencyResult>& latency, const MachineLoad& load,
                  const std::vector<PassCost>& costs, const std::vector<std::string>& problems) {
  const std::string kindText = describeKinds(links);
  std::printf("\n==================== nubrik_bench summary ====================\n");
  std::printf("sandbox: private network + mount namespaces, %zu links (%s), lo not counted\n",
              links.size(), kindText.c_str());
  std::printf("machine: %ld CPUs online, load average %s before the trials, %s after\n",
              ::sysconf(_SC_NPROCESSORS_ONLN), load.beforeTrials.c_str(), load.afterTrials.c_str());

  std::printf("\n(a) link set up by another process -> daemon has set it down again\n");
  std::printf(
      "    set up with one RTM_NEWLINK request over rtnetlink from the bench process (no\n"
      "    fork); timed from just before the request to the read of the kernel's link\n"
      "    notification with IFF_UP cleared (CLOCK_MONOTONIC); after each trial a pause of\n"
      "    %d ms or more, until the daemon is idle\n",
      latencyOptions.gapMilliseconds);
  if (!latency || latency->milliseconds.empty()) {
    std::printf("    no trial was measured\n");
  } else {
    std::vector<double> sorted = latency->milliseconds;
    std::sort(sorted.begin(), sorted.end());
    const double mid = median(sorted);
    const double p99 = percentile(sorted, 0.99);
    const double mean =
        std::accumulate(sorted.begin(), sorted.end(), 0.0) / static_cast<double>(sorted.size());
    std::printf(
        "    trials            %zu answered, %d timed out, %d corrections in the daemon's log\n",
        sorted.size(), latency->timeouts, latency->correctionsLogged);
    std::printf("    median            %8.3f ms   (target < %.0f ms: %s)\n", mid,
                medianTargetMilliseconds, verdict(mid < medianTargetMilliseconds));
    std::printf("    p99               %8.3f ms   (target < %.0f ms: %s)\n", p99,
                p99TargetMilliseconds, verdict(p99 < p99TargetMilliseconds));
    std::printf("    p90               %8.3f ms\n", percentile(sorted, 0.90));
    std::printf("    min / mean / max  %8.3f / %.3f / %.3f ms\n", sorted.front(), mean,
                sorted.back());
    printSchedulerSplit(*latency);
    std::printf("    median by kind   ");
    for (const auto& [kind, values] : latency->byKind) {
      std::vector<double> byKind = values;
      std::sort(byKind.begin(), byKind.end());
      std::printf(" %s %.3f ms (%zu)", kind.c_str(), median(byKind), byKind.size());
    }
    std::printf("\n");
  }

  std::printf(
      "\n(b) CPU time per enforcement pass over %zu links: process CPU time including the\n"
      "    reaped children's (CLOCK_PROCESS_CPUTIME_ID + RUSAGE_CHILDREN)\n",
      links.size());
  std::printf("    %-34s %-26s %s\n", "backend", "all down (nothing to do)",
              "all up (all brought down)");
  std::printf("    %-34s %-26s %s\n", "rtnetlink, backend reused",
              costCell(findCost(costs, netlinkSteadyName)).c_str(),
              costCell(findCost(costs, netlinkCorrectingName)).c_str());
  std::printf("    %-34s %-26s %s\n", "rtnetlink, backend built per pass",
              costCell(findCost(costs, netlinkFreshSteadyName)).c_str(), "-");
  std::printf("    %-34s %-26s %s\n", "ip tool per object (posix_spawn)",
              costCell(findCost(costs, ipSteadyName)).c_str(),
              costCell(findCost(costs, ipCorrectingName)).c_str());
  const auto ratio = [&](const char* forking, const char* netlink) -> std::optional<double> {
    const PassCost* slow = findCost(costs, forking);
    const PassCost* fast = findCost(costs, netlink);
    if (!slow || !fast || !slow->error.empty() || !fast->error.empty() ||
        fast->cpuMicroseconds <= 0) {
      return std::nullopt;
    }
    return slow->cpuMicroseconds / fast->cpuMicroseconds;
  };
  const std::optional<double> steadyRatio = ratio(ipSteadyName, netlinkSteadyName);
  const std::optional<double> correctingRatio = ratio(ipCorrectingName, netlinkCorrectingName);
  if (const PassCost* netlink = findCost(costs, netlinkSteadyName);
      netlink && netlink->error.empty()) {
    std::printf("    rtnetlink pass, all down: %.1f us (target < %.0f us: %s)\n",
                netlink->cpuMicroseconds, passTargetMicroseconds,
                verdict(netlink->cpuMicroseconds < passTargetMicroseconds));
  }
  if (steadyRatio) {
    std::printf("    ratio ip / rtnetlink, all down: %.0fx (target >= %.0fx: %s)\n", *steadyRatio,
                ratioTarget, verdict(*steadyRatio >= ratioTarget));
  }
  if (correctingRatio) {
    std::printf("    ratio ip / rtnetlink, all up:   %.0fx\n", *correctingRatio);
  }
  if (const PassCost* listing = findCost(costs, netlinkListingName);
      listing && listing->error.empty()) {
    std::printf("    rtnetlink link dump alone: %.1f us\n", listing->cpuMicroseconds);
  }
  for (const PassCost& cost : costs) {
    if (!cost.error.empty()) std::printf("    %s: %s\n", cost.name.c_str(), cost.error.c_str());
  }

  // The enforcers' own problems are listed with the comparison below.
  std::printf("\nproblems: %s\n", problems.empty() ? "none" : "");
  for (const std::string& problem : problems) std::printf("    %s\n", problem.c_str());
  std::fflush(stdout);
}

// Every link down, as the measurements expect to find them.
void setAllDown(const std::vector<SandboxLink>& links) {
  LinkControl control;
  for (const SandboxLink& link : links) control.setUp(linkIndex(link.name), false);
}

// At one link count: the timer's pass against the link dump (no daemon running yet), then the
// daemon's and the minimal enforcer's re-enforcement latency, never both enforcers at once.
void measureAtLinkCount(const std::vector<SandboxLink>& links, const LatencyOptions& options,
                        LinkCountMeasurement& m) {
  setAllDown(links);
  std::printf("\n%zu links: measuring the timer's pass and the link dump...\n", links.size());
  std::fflush(stdout);
  m.pass = measureTimerPassCost(links);

  std::printf(
      "%zu links: measuring re-enforcement latency, %d trials each of the daemon and of the\n"
      "    minimal enforcer in alternating blocks of %d...\n",
      links.size(), options.trials, options.blockTrials);
  std::fflush(stdout);
  try {
    setAllDown(links);
    LatencyComparison latencies = measureEnforcementLatencies(links, options);
    m.daemon = std::move(latencies.daemon);
    m.minimal = std::move(latencies.minimal);
  } catch (const std::exception& error) {
    LatencyResult failed;
    failed.problems.push_back(std::string("latency measurement: ") + error.what());
    m.daemon = std::move(failed);
  }
}

int run(int argc, char** argv) {
  // Nothing in here may reach the host's buses, service manager or confirmations.
  for (const char* name :
       {"DBUS_SYSTEM_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS", "NOTIFY_SOCKET", "NUBRIK_FORCE"}) {
    ::unsetenv(name);
  }
  std::optional<Options> options = parseOptions(argc, argv);
  if (!options) {
    std::fprintf(stderr,
                 "usage: nubrik_bench [--helper <path>] [--trials <n>] [--large-trials <n>] "
                 "[--block-trials <n>] [--gap-ms <ms>] [--benchmark_... options]\n");
    return 2;
  }
  int benchmarkArgc = static_cast<int>(options->benchmarkArguments.size());
  benchmark::Initialize(&benchmarkArgc, options->benchmarkArguments.data());
  if (benchmark::ReportUnrecognizedArguments(benchmarkArgc, options->benchmarkArguments.data())) {
    return 2;
  }
  if (::access(options->latency.helperPath.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "nubrik_bench: no daemon binary at %s\n",
                 options->latency.helperPath.c_str());
    return 1;
  }

  // Still single-threaded here, as unsharing the mount namespace requires.
  if (const std::optional<std::string> reason = enterPrivateNamespaces()) {
    std::printf("nubrik_bench: skipped: %s\n", reason->c_str());
    return skipStatus;
  }
  const std::vector<SandboxLink> links = createSandboxLinks(linkCount);
  std::vector<std::string> names;
  for (const SandboxLink& link : links) names.push_back(link.name);

  std::vector<std::string> problems;
  checkBackendsAgree(problems);

  // The passes first, while no daemon is running to react to the links they switch.
  const std::vector<PassCost> costs = runPassCostBenchmarks(names);

  std::vector<LinkCountMeasurement> comparison;
  MachineLoad load{.beforeTrials = loadAverage(), .afterTrials = {}};
  std::vector<SandboxLink> measured = links;
  for (const size_t count : {linkCount, largeLinkCount}) {
    if (count != measured.size()) {
      try {
        addStandInLinks(measured, count);
      } catch (const std::exception& error) {
        problems.push_back(std::string("adding links: ") + error.what());
        break;
      }
    }
    LatencyOptions latencyOptions = options->latency;
    if (count != linkCount) latencyOptions.trials = options->largeTrials;
    LinkCountMeasurement& m = comparison.emplace_back();
    m.links = measured.size();
    m.linkKinds = describeKinds(measured);
    measureAtLinkCount(measured, latencyOptions, m);
  }
  load.afterTrials = loadAverage();

  printSummary(links, options->latency,
               comparison.empty() ? std::optional<LatencyResult>() : comparison.front().daemon,
               load, costs, problems);
  missedTargets += printComparison(comparison, options->latency.gapMilliseconds);
  benchmark::Shutdown();
  if (missedTargets > 0) {
    std::printf("\nnubrik_bench: %d target%s missed\n", missedTargets,
                missedTargets == 1 ? "" : "s");
    return 1;
  }
  return 0;
}

}  // namespace

}  // namespace nubrik::bench

int main(int argc, char** argv) {
  try {
    return nubrik::bench::run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "nubrik_bench: %s\n", error.what());
    return 1;
  }
}
