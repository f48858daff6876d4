#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.hpp"

namespace nubrik {

// How long a burst of one repeated log message lasts before its repeats are summed up.
inline constexpr std::chrono::seconds logRepeatWindow{60};
// How many different messages are followed at once; the oldest burst is closed to make room.
inline constexpr std::size_t logRepeatTracked = 64;

// Keeps a storm of identical events (a link that a driver keeps bringing up, a caller that keeps
// asking) from flooding the log, without hiding that it happened: the first occurrence of a
// message is always written as it is, repeats of it within the window that it opened are counted,
// and once the window has passed one line says how many there were:
//   "repeated <n> more times since <time of the first>: <message>"
// A repeat after the window opens a new burst, written in full again.
class RepeatSummary {
 public:
  explicit RepeatSummary(std::chrono::seconds window = logRepeatWindow,
                         std::size_t tracked = logRepeatTracked);

  // The lines to write, in order, for a message logged at `now`: the summaries of bursts that
  // have ended, then the message itself unless it repeats one within its window.
  std::vector<std::string> admit(std::string_view message, Date now);
  // The summaries of bursts whose window has passed by `now`; the daemon asks on every tick, so
  // that a count is written even when nothing else is logged.
  std::vector<std::string> expire(Date now);
  // The summaries of every open burst with repeats, for the end of the process.
  std::vector<std::string> flush();

 private:
  struct Burst {
    std::string message;
    Date first;
    std::size_t repeats = 0;
  };
  void close(std::vector<Burst>::iterator burst, std::vector<std::string>& out);

  std::chrono::seconds window_;
  std::size_t tracked_;
  std::vector<Burst> bursts_;  // oldest first
};

}  // namespace nubrik
