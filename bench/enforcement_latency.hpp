#pragma once

// How quickly the running daemon forces a link down again after another process turned it on.

#include <map>
#include <string>
#include <vector>

#include "bench/network_sandbox.hpp"

namespace nubrik::bench {

struct LatencyOptions {
  std::string helperPath;
  int trials = 300;
  // Quiet time after each trial, so the daemon's follow-up pass (its own change wakes it again)
  // is over before the next link goes up.
  int gapMilliseconds = 20;
  // A trial that takes longer has failed; the periodic tick alone would answer within 5 s.
  int timeoutMilliseconds = 10'000;
};

struct LatencyResult {
  std::vector<double> milliseconds;                   // every answered trial, in order
  std::map<std::string, std::vector<double>> byKind;  // the same, by kind of link
  int timeouts = 0;
  int correctionsLogged = 0;  // "brought interface ... down" lines in the daemon's log
  // Where the daemon's time went during each answered trial (same order as milliseconds), from
  // its /proc schedstat: on a CPU, and runnable but waiting for one. Empty when unreadable.
  std::vector<double> daemonRunningMilliseconds;
  std::vector<double> daemonWaitingMilliseconds;
  // The same for the bench itself: waiting for a CPU after the kernel woke it with the news.
  std::vector<double> benchWaitingMilliseconds;
  std::vector<std::string> problems;  // everything that did not go as expected
};

// Starts the daemon inside the sandbox, starts a session, runs the trials, then recovers and
// stops the daemon. Throws std::runtime_error when the daemon or the session cannot be started.
LatencyResult measureEnforcementLatency(const std::vector<SandboxLink>& links,
                                        const LatencyOptions& options);

}  // namespace nubrik::bench
