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

// The networking switch as NetworkManager keeps it across its own restarts: the key
// "NetworkingEnabled" in group "main" of the key file NetworkManager.state in its state directory.
// A missing key or file means enabled. Consulted only while NetworkManager is not running (at
// boot the daemon runs before it); while it runs, it owns this file and the bus is the authority.
// Every operation opens the file afresh; the file itself is never reached through a symbolic link.
class NetworkManagerStateFile {
 public:
  explicit NetworkManagerStateFile(std::string directory);

  // Whether NetworkManager is installed: its state directory exists. Throws NetworkSystemError
  // when that cannot be told.
  bool installed() const;

  // The persisted switch. Throws NetworkSystemError when the file cannot be read (a symbolic link
  // or anything but a regular file counts as unreadable) and NetworkStateError when it is not a
  // key file or the value is not a boolean.
  bool networkingEnabled() const;

  // Replaces or adds the key, keeping every other byte of the file, by an atomic rename of a new
  // file with the old one's mode (0644 for a new file). True when the file then holds the value.
  // A garbled file is rewritten only to turn networking on, so that failing open always can.
  // Never throws.
  bool setNetworkingEnabled(bool on) const;

 private:
  std::string directory_;
};

}  // namespace nubrik
