#include "bench/comparison_report.hpp"

#include <cstdio>

#include "bench/statistics.hpp"

namespace nubrik::bench {

namespace {

struct LatencySummary {
  size_t trials = 0;
  double median = 0;
  double p99 = 0;
  double running = 0;  // the enforcer's median time on a CPU per trial
};

std::optional<LatencySummary> summarize(const std::optional<LatencyResult>& result) {
  if (!result || result->milliseconds.empty()) return std::nullopt;
  const std::vector<double> sorted = sortedCopy(result->milliseconds);
  LatencySummary summary{.trials = sorted.size(),
                         .median = median(sorted),
                         .p99 = percentile(sorted, 0.99),
                         .running = -1};
  if (!result->daemonRunningMilliseconds.empty()) {
    summary.running = median(sortedCopy(result->daemonRunningMilliseconds));
  }
  return summary;
}

void printLatencyRow(size_t links, const char* enforcer,
                     const std::optional<LatencySummary>& summary) {
  if (summary) {
    std::printf("%5zu  %-9s %6zu %10.3f %9.3f |", links, enforcer, summary->trials, summary->median,
                summary->p99);
  } else {
    std::printf("%5zu  %-9s %6s %10s %9s |", links, enforcer, "-", "no trial", "-");
  }
}

bool passMeasured(const TimerPassCost& pass) {
  return pass.rounds > 0 && pass.dumpMicroseconds > 0;
}

const char* verdict(std::optional<bool> met, int& missed) {
  if (!met || !*met) ++missed;
  if (!met) return "NOT CHECKED";
  return *met ? "met" : "MISSED";
}

}  // namespace

int printComparison(const std::vector<LinkCountMeasurement>& measurements, int gapMilliseconds) {
  int missed = 0;
  std::printf("\n==================== daemon vs minimal enforcer ====================\n");
  std::printf(
      "re-enforcement: the bench sets a link up with one RTM_NEWLINK request and times until it\n"
      "reads the kernel's RTM_NEWLINK with IFF_UP cleared; after each trial a pause of %d ms or\n"
      "more, until the enforcer is idle. The daemon (with a session) and the minimal enforcer (a\n"
      "thread that answers each link notification with IFF_UP set by clearing it: no dump, no\n"
      "query) take turns in blocks of trials over the same links in the same order; the daemon\n"
      "is held with SIGSTOP while the minimal enforcer runs, so never both act at once.\n"
      "pass: median process CPU time per pass with every link down; the enforcement pass the\n"
      "daemon's timer runs, in-process from the library built with the bench over one kept\n"
      "backend, against one RTM_GETLINK dump (statistics skipped, as the daemon asks) over a\n"
      "kept socket with the names parsed; the two alternate, pass by pass. The whole tick\n"
      "(state lock, session, pass, status) is under details.\n\n",
      gapMilliseconds);
  for (const LinkCountMeasurement& m : measurements) {
    std::printf("%zu links: %s\n", m.links, m.linkKinds.c_str());
  }
  std::printf("\nlinks  enforcer  trials  median_ms    p99_ms | pass_us   dump_us   ratio\n");
  for (const LinkCountMeasurement& m : measurements) {
    printLatencyRow(m.links, "daemon", summarize(m.daemon));
    if (passMeasured(m.pass)) {
      std::printf(" %8.1f %9.1f %6.2fx\n", m.pass.enforcementMicroseconds, m.pass.dumpMicroseconds,
                  m.pass.enforcementMicroseconds / m.pass.dumpMicroseconds);
    } else {
      std::printf(" %8s %9s %7s\n", "-", "-", "-");
    }
    printLatencyRow(m.links, "minimal", summarize(m.minimal));
    std::printf("\n");
  }

  std::printf("\ndetails:\n");
  for (const LinkCountMeasurement& m : measurements) {
    const std::optional<LatencySummary> daemon = summarize(m.daemon);
    const std::optional<LatencySummary> minimal = summarize(m.minimal);
    if (passMeasured(m.pass)) {
      std::printf(
          "  %5zu links: whole tick %.1f us CPU (%.1f us wall); dump wall %.1f us;\n"
          "               %d passes of each, interleaved\n",
          m.links, m.pass.tickMicroseconds, m.pass.tickWallMicroseconds,
          m.pass.dumpWallMicroseconds, m.pass.rounds);
    }
    if (daemon && minimal && daemon->running >= 0 && minimal->running >= 0) {
      std::printf(
          "  %5zu links: on a CPU per trial, median: daemon %.3f ms, minimal enforcer %.3f ms\n",
          m.links, daemon->running, minimal->running);
    }
    for (const auto& [who, result] : {std::pair{"daemon", &m.daemon}, {"minimal", &m.minimal}}) {
      if (*result) {
        std::printf("  %5zu links: %s: %d timed out, %d corrections\n", m.links, who,
                    (*result)->timeouts, (*result)->correctionsLogged);
      }
    }
  }

  std::printf("\ntargets:\n");
  for (const LinkCountMeasurement& m : measurements) {
    const std::optional<LatencySummary> daemon = summarize(m.daemon);
    const std::optional<LatencySummary> minimal = summarize(m.minimal);
    std::printf("  %5zu links: re-enforcement median within %.0fx of the minimal enforcer: ",
                m.links, latencyRatioTarget);
    if (daemon && minimal && minimal->median > 0) {
      const double ratio = daemon->median / minimal->median;
      std::printf("%.3f / %.3f ms = %.1fx: %s\n", daemon->median, minimal->median, ratio,
                  verdict(ratio <= latencyRatioTarget, missed));
    } else {
      std::printf("%s\n", verdict(std::nullopt, missed));
    }
  }
  for (const LinkCountMeasurement& m : measurements) {
    std::printf("  %5zu links: timer pass within %.1fx of the kernel dump: ", m.links,
                passRatioTarget);
    if (passMeasured(m.pass)) {
      const double ratio = m.pass.enforcementMicroseconds / m.pass.dumpMicroseconds;
      std::printf("%.1f / %.1f us = %.2fx: %s\n", m.pass.enforcementMicroseconds,
                  m.pass.dumpMicroseconds, ratio, verdict(ratio <= passRatioTarget, missed));
    } else {
      std::printf("%s\n", verdict(std::nullopt, missed));
    }
  }

  std::vector<std::string> problems;
  for (const LinkCountMeasurement& m : measurements) {
    const std::string prefix = std::to_string(m.links) + " links: ";
    for (const auto* result : {&m.daemon, &m.minimal}) {
      if (!*result) continue;
      for (const std::string& problem : (*result)->problems) problems.push_back(prefix + problem);
    }
    for (const std::string& problem : m.pass.problems) problems.push_back(prefix + problem);
  }
  std::printf("\nproblems of these measurements: %s\n", problems.empty() ? "none" : "");
  for (const std::string& problem : problems) std::printf("    %s\n", problem.c_str());
  std::fflush(stdout);
  return missed;
}

}  // namespace nubrik::bench
