#pragma once

// The daemon against the yardsticks, side by side at each link count: its re-enforcement latency
// against the minimal enforcer's, and its timer's pass against the kernel's link dump.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bench/enforcement_latency.hpp"
#include "bench/timer_pass_cost.hpp"

namespace nubrik::bench {

// Targets a change of the daemon is judged by.
inline constexpr double latencyRatioTarget = 2.0;  // daemon median / minimal enforcer median
inline constexpr double passRatioTarget = 1.5;     // timer pass / kernel link dump

struct LinkCountMeasurement {
  std::string linkKinds;  // "2 bridge, 2 tap, 12 veth"
  size_t links = 0;
  std::optional<LatencyResult> daemon;
  std::optional<LatencyResult> minimal;
  TimerPassCost pass;
};

// Prints the table, the details behind it and the target checks; returns how many targets were
// missed. A target that could not be checked (nothing measured) counts as missed.
int printComparison(const std::vector<LinkCountMeasurement>& measurements, int gapMilliseconds);

}  // namespace nubrik::bench
