#pragma once

// How quickly an enforcer forces a link down again after another process turned it on: the
// running daemon, and the minimal enforcer it is judged against, measured the same way.

#include <map>
#include <string>
#include <vector>

#include "bench/network_sandbox.hpp"

namespace nubrik::bench {

struct LatencyOptions {
  std::string helperPath;
  int trials = 300;
  // Quiet time after each trial, so the daemon's follow-up pass (its own change wakes it again)
  // is over before the next link goes up; longer while the enforcer is still busy.
  int gapMilliseconds = 20;
  // A trial that takes longer has failed; the periodic tick alone would answer within 5 s.
  int timeoutMilliseconds = 10'000;
  // Trials of one enforcer before the other takes over.
  int blockTrials = 25;
};

struct LatencyResult {
  std::vector<double> milliseconds;                   // every answered trial, in order
  std::map<std::string, std::vector<double>> byKind;  // the same, by kind of link
  int timeouts = 0;
  // "brought interface ... down" lines in the daemon's log, or the down requests the minimal
  // enforcer sent.
  int correctionsLogged = 0;
  // Where the enforcer's time went during each answered trial (same order as milliseconds), from
  // its /proc schedstat: on a CPU, and runnable but waiting for one. Empty when unreadable.
  std::vector<double> daemonRunningMilliseconds;
  std::vector<double> daemonWaitingMilliseconds;
  // The same for the bench itself: waiting for a CPU after the kernel woke it with the news.
  std::vector<double> benchWaitingMilliseconds;
  std::vector<std::string> problems;  // everything that did not go as expected
};

// Both enforcers' trials over the same links in the same order.
struct LatencyComparison {
  LatencyResult daemon;
  LatencyResult minimal;
};

// Starts the daemon inside the sandbox and a session, then runs the trials in blocks that
// alternate between the daemon and the minimal enforcer, so that both meet the same load on a
// shared machine. Only one enforcer acts at a time: the daemon is stopped (SIGSTOP) during the
// minimal enforcer's blocks and the minimal enforcer exists only during its own. Ends with a
// recovery and stops the daemon. Expects every link down and leaves the links as the session
// found them (one of each kind up). Throws std::runtime_error when the daemon or the session
// cannot be started.
LatencyComparison measureEnforcementLatencies(const std::vector<SandboxLink>& links,
                                              const LatencyOptions& options);

}  // namespace nubrik::bench
