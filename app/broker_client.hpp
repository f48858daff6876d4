#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "app/bus_opener.hpp"
#include "core/unique_fd.hpp"

namespace nubrik {

// The desktop program's end of the bus broker (see bus_broker.hpp): every connection to the
// helper is one the broker made, so the bus recorded the app's group for it while this process
// never held the group.
class BrokerClient {
 public:
  // Takes over an open broker socket.
  explicit BrokerClient(UniqueFd socket);
  BrokerClient(const BrokerClient&) = delete;
  BrokerClient& operator=(const BrokerClient&) = delete;

  // The broker socket `tamsel` passed in NUBRIK_BROKER_FD, taken over: the variable is removed,
  // so that nothing this process starts learns the number, and the descriptor is made close on
  // exec. From then on the process holds the means to connect as the app, so it also makes
  // itself non-dumpable: other processes of the same user can then neither trace it nor take its
  // descriptors. None when the variable is not set; throws std::runtime_error saying why when it
  // is set but names no broker socket (and then removes it all the same).
  static std::unique_ptr<BrokerClient> fromEnvironment();

  // A new connection to the system bus, made by the broker: the descriptor (close on exec), or a
  // negative errno. Safe from any thread; requests take turns. A broker that is gone, answers out
  // of turn or not within brokerReplyTimeoutMs leaves the client broken for good (-ENOTCONN).
  int requestConnection();
  // A started bus client connection on a brokered connection; a BusOpener.
  int openBus(sd_bus** result);

  // The opener for HelperBusConnection and SessionClient::production; it keeps the client alive.
  static BusOpener opener(std::shared_ptr<BrokerClient> client);

  // How long a request waits for the broker, which only has to connect a local socket.
  static constexpr int brokerReplyTimeoutMs = 10000;

 private:
  int fail(int negativeErrno);

  std::mutex mutex_;
  UniqueFd socket_;
  bool broken_ = false;
};

// The descriptor number of NUBRIK_BROKER_FD: a plain decimal number of 3 or more (the standard
// descriptors are never the broker's). None for anything else.
std::optional<int> parseBrokerFd(std::string_view text);

// Checks that fd is an open AF_UNIX SOCK_SEQPACKET socket and takes it over (close on exec).
// Throws std::runtime_error saying why not.
UniqueFd adoptBrokerFd(int fd);

}  // namespace nubrik
