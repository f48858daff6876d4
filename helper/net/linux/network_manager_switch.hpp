#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace nubrik {

// NetworkManager's networking switch over the system bus. One connection, opened on first use
// and reopened when it broke or the process forked. Thread-safe.
class NetworkManagerSwitch {
 public:
  // An empty address means the system bus.
  explicit NetworkManagerSwitch(std::string busAddress);
  ~NetworkManagerSwitch();
  NetworkManagerSwitch(const NetworkManagerSwitch&) = delete;
  NetworkManagerSwitch& operator=(const NetworkManagerSwitch&) = delete;

  // Whether NetworkManager runs: false when there is no bus to connect to or nobody owns its
  // name. Throws NetworkSystemError when the bus is there but does not answer.
  bool present();

  // NetworkManager's "NetworkingEnabled". Throws NetworkSystemError when it cannot be read.
  bool networkingEnabled();

  // Calls Enable(on); true when the switch is then in the requested state. Never throws.
  bool setNetworkingEnabled(bool on);

 private:
  struct Connection;
  // The open connection, or nullptr when there is no bus. Throws NetworkSystemError otherwise.
  Connection* connection();

  std::string busAddress_;
  std::mutex mutex_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace nubrik
