#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace nubrik {

// A listing could not be taken because the tool behind it failed. what() is the default textual
// form, e.g. commandFailed(executable: "/usr/sbin/networksetup", status: 4).
class NetworkQueryError : public std::runtime_error {
 public:
  enum class Kind { commandFailed };

  static NetworkQueryError commandFailed(std::string executable, int32_t status);

  Kind kind() const { return kind_; }
  const std::string& executable() const { return executable_; }
  int32_t status() const { return status_; }

  bool operator==(const NetworkQueryError& other) const {
    return kind_ == other.kind_ && executable_ == other.executable_ && status_ == other.status_;
  }

 private:
  NetworkQueryError(Kind kind, std::string executable, int32_t status);

  Kind kind_;
  std::string executable_;
  int32_t status_;
};

// A single object could not be queried, or an output did not have the expected shape.
// what() is the default textual form, e.g. malformedOutput(command: "listallnetworkservices").
class NetworkStateError : public std::runtime_error {
 public:
  enum class Kind { commandFailed, malformedOutput };

  static NetworkStateError commandFailed(std::string executable, int32_t status);
  static NetworkStateError malformedOutput(std::string command);

  Kind kind() const { return kind_; }
  // commandFailed only.
  const std::string& executable() const { return executable_; }
  int32_t status() const { return status_; }
  // malformedOutput only.
  const std::string& command() const { return command_; }

  bool operator==(const NetworkStateError& other) const {
    return kind_ == other.kind_ && executable_ == other.executable_ && status_ == other.status_ &&
           command_ == other.command_;
  }

 private:
  NetworkStateError(Kind kind, std::string executable, int32_t status, std::string command,
                    std::string description);

  Kind kind_;
  std::string executable_;
  int32_t status_;
  std::string command_;
};

// The kernel or the system bus refused a request of the Linux backend, or the object asked about
// does not exist there. what() is the default textual form, e.g.
// systemCallFailed(operation: "RTM_GETLINK", errno: 19) or noSuchObject(name: "wlan0").
class NetworkSystemError : public std::runtime_error {
 public:
  enum class Kind { systemCallFailed, noSuchObject };

  static NetworkSystemError systemCallFailed(std::string operation, int errorNumber);
  static NetworkSystemError noSuchObject(std::string name);

  Kind kind() const { return kind_; }
  // systemCallFailed only.
  const std::string& operation() const { return operation_; }
  int errorNumber() const { return errorNumber_; }
  // noSuchObject only.
  const std::string& name() const { return name_; }

  bool operator==(const NetworkSystemError& other) const {
    return kind_ == other.kind_ && operation_ == other.operation_ &&
           errorNumber_ == other.errorNumber_ && name_ == other.name_;
  }

 private:
  NetworkSystemError(Kind kind, std::string operation, int errorNumber, std::string name,
                     std::string description);

  Kind kind_;
  std::string operation_;
  int errorNumber_;
  std::string name_;
};

// A string value as it appears in a default textual form: in double quotes, with backslashes,
// quotes and control characters escaped so that a hostile name cannot forge a log line.
std::string quotedForDescription(const std::string& value);

}  // namespace nubrik
