#pragma once

// What the daemon's timer costs per firing during a session, against the least any pass over the
// links can cost: the kernel's link dump alone. Both run in this process, the daemon's tick
// through the helper's own library (the code built alongside the bench), interleaved so that
// both see the same load.

#include <cstddef>
#include <string>
#include <vector>

#include "bench/network_sandbox.hpp"

namespace nubrik::bench {

struct TimerPassCost {
  size_t links = 0;
  int rounds = 0;  // passes measured of each kind
  // Medians per pass, in microseconds: process CPU time, and wall time alongside.
  double tickMicroseconds = 0;  // the timer's tick: lock, session, enforcement, status
  double tickWallMicroseconds = 0;
  double enforcementMicroseconds = 0;  // the enforcement pass alone, backend built per pass
  double dumpMicroseconds = 0;         // one RTM_GETLINK dump, names parsed
  double dumpWallMicroseconds = 0;
  std::vector<std::string> problems;
};

// Starts a session in the sandbox (no daemon may be running), measures with every link down
// (the steady state: nothing to correct), then recovers. Expects every link down and leaves
// them down.
TimerPassCost measureTimerPassCost(const std::vector<SandboxLink>& links);

}  // namespace nubrik::bench
