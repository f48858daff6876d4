#pragma once

// What one enforcement pass costs in CPU time over the rtnetlink backend and over a backend
// that runs the ip tool per object, measured with Google Benchmark.

#include <cstdint>
#include <string>
#include <vector>

namespace nubrik::bench {

struct PassCost {
  std::string name;            // the benchmark's name
  double cpuMicroseconds = 0;  // per pass: this process plus the children it reaped
  double childCpuMicroseconds = 0;
  double wallMicroseconds = 0;
  double commandsPerPass = 0;  // programs started per pass
  int64_t iterations = 0;
  std::string error;  // set when the pass did not behave as expected
};

// Benchmark names, for picking results out of the list.
inline constexpr const char* netlinkSteadyName = "EnforcementPass/netlink/allDown";
inline constexpr const char* netlinkFreshSteadyName = "EnforcementPass/netlinkFreshBackend/allDown";
inline constexpr const char* ipSteadyName = "EnforcementPass/ipPerObject/allDown";
inline constexpr const char* netlinkCorrectingName = "EnforcementPass/netlink/allUp";
inline constexpr const char* ipCorrectingName = "EnforcementPass/ipPerObject/allUp";
// The two halves of the rtnetlink pass over links that are all down.
inline constexpr const char* netlinkListingName = "NetlinkBackend/discoverInterfaces";

// Registers the passes over `links` (which must all be down, and are left down) and runs every
// registered benchmark that the command line's filter selects, printing Google Benchmark's own
// table. benchmark::Initialize must have been called.
std::vector<PassCost> runPassCostBenchmarks(const std::vector<std::string>& links);

}  // namespace nubrik::bench
