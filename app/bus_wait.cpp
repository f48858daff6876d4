#include "app/bus_wait.hpp"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace nubrik {

uint64_t monotonicMicroseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000u +
         static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

int PendingReply::onReply(sd_bus_message* message, void* userdata, sd_bus_error*) {
  auto& pending = *static_cast<PendingReply*>(userdata);
  pending.reply.reset(sd_bus_message_ref(message));
  pending.done = true;
  return 0;
}

int processBusUntil(sd_bus* bus, const std::function<bool()>& done, int stopFd, uint64_t deadline) {
  for (;;) {
    if (done()) return 0;
    int r = sd_bus_process(bus, nullptr);
    if (r < 0) return r;
    if (done()) return 0;
    if (r > 0) continue;

    const uint64_t now = monotonicMicroseconds();
    if (now >= deadline) return -ETIMEDOUT;
    uint64_t until = UINT64_MAX;
    if (r = sd_bus_get_timeout(bus, &until); r < 0) return r;
    until = std::min(until, deadline);
    int timeoutMs = -1;
    if (until != UINT64_MAX) {
      const uint64_t left = until > now ? (until - now + 999) / 1000 : 0;
      timeoutMs = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    const int fd = sd_bus_get_fd(bus);
    const int events = sd_bus_get_events(bus);
    if (fd < 0) return fd;
    if (events < 0) return events;
    pollfd fds[2] = {{fd, static_cast<short>(events), 0}, {stopFd, POLLIN, 0}};
    const nfds_t count = stopFd >= 0 ? 2 : 1;
    if (::poll(fds, count, timeoutMs) < 0 && errno != EINTR) return -errno;
    if (count == 2 && (fds[1].revents & POLLIN) != 0) return -ECANCELED;
  }
}

}  // namespace nubrik
