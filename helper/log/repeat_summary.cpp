#include "helper/log/repeat_summary.hpp"

#include <algorithm>

namespace nubrik {

RepeatSummary::RepeatSummary(std::chrono::seconds window, std::size_t tracked)
    : window_(window), tracked_(std::max<std::size_t>(tracked, 1)) {}

void RepeatSummary::close(std::vector<Burst>::iterator burst, std::vector<std::string>& out) {
  if (burst->repeats > 0) {
    out.push_back("repeated " + std::to_string(burst->repeats) + " more times since " +
                  iso8601UTC(burst->first) + ": " + burst->message);
  }
  bursts_.erase(burst);
}

std::vector<std::string> RepeatSummary::expire(Date now) {
  std::vector<std::string> out;
  for (auto burst = bursts_.begin(); burst != bursts_.end();) {
    // A clock set back ends the burst too: its window can no longer be told.
    if (now - burst->first >= window_ || now < burst->first) {
      close(burst, out);
    } else {
      ++burst;
    }
  }
  return out;
}

std::vector<std::string> RepeatSummary::admit(std::string_view message, Date now) {
  std::vector<std::string> out = expire(now);
  const auto open = std::find_if(bursts_.begin(), bursts_.end(),
                                 [&](const Burst& burst) { return burst.message == message; });
  if (open != bursts_.end()) {
    ++open->repeats;
    return out;
  }
  if (bursts_.size() >= tracked_) close(bursts_.begin(), out);
  bursts_.push_back({std::string(message), now, 0});
  out.emplace_back(message);
  return out;
}

std::vector<std::string> RepeatSummary::flush() {
  std::vector<std::string> out;
  while (!bursts_.empty()) close(bursts_.begin(), out);
  return out;
}

}  // namespace nubrik
