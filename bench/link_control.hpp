#pragma once

// The bench's own view of the links, over plain rtnetlink sockets: it plays "another process"
// that turns a link back on, and watches for the daemon turning it off again.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nubrik::bench {

// CLOCK_MONOTONIC in nanoseconds.
int64_t monotonicNanoseconds();

// The link's index in this network namespace; throws std::system_error when there is none.
int linkIndex(const std::string& name);

// Sends RTM_NEWLINK requests and waits for the kernel's acknowledgement.
class LinkControl {
 public:
  LinkControl();
  ~LinkControl();
  LinkControl(const LinkControl&) = delete;
  LinkControl& operator=(const LinkControl&) = delete;

  // Sets or clears IFF_UP; throws std::system_error when the kernel refuses.
  void setUp(int index, bool up);
  // Whether IFF_UP is set, from an RTM_GETLINK request; throws std::system_error.
  bool isUp(int index);

 private:
  // Sends the request and returns the first reply addressed to it.
  void exchange(void* request, size_t length, bool* up);

  int fd_ = -1;
  std::vector<char> buffer_;
  uint32_t sequence_ = 0;
};

// The kernel's link dump alone: one RTM_GETLINK dump request (statistics left out) over a socket
// kept open, its replies parsed only as far as the links' names, as the least any pass over the
// links costs.
class LinkDumper {
 public:
  LinkDumper();
  ~LinkDumper();
  LinkDumper(const LinkDumper&) = delete;
  LinkDumper& operator=(const LinkDumper&) = delete;

  // Dumps every link and returns the names of those that are not the loopback device; throws
  // std::system_error when the kernel refuses or the dump is cut short.
  const std::vector<std::string>& dump();

 private:
  int fd_ = -1;
  std::vector<char> buffer_;
  std::vector<std::string> names_;
  uint32_t sequence_ = 0;
};

// Subscribed to the link multicast group from construction on.
class LinkMonitor {
 public:
  LinkMonitor();
  ~LinkMonitor();
  LinkMonitor(const LinkMonitor&) = delete;
  LinkMonitor& operator=(const LinkMonitor&) = delete;

  // Discards every notification queued so far.
  void drain();
  // Waits for a notification that reports the link without IFF_UP and returns the monotonic
  // time it was read at; nullopt when the deadline (monotonic nanoseconds) passes first.
  // Throws std::system_error when notifications were lost (the queue overflowed).
  std::optional<int64_t> waitForDown(int index, int64_t deadline);

 private:
  int fd_ = -1;
  std::vector<char> buffer_;
};

}  // namespace nubrik::bench
