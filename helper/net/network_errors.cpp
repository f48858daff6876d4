#include "helper/net/network_errors.hpp"

#include <cstdio>
#include <utility>

namespace nubrik {

std::string quotedForDescription(const std::string& value) {
  std::string out = "\"";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\'':
        out += "\\'";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          char escaped[16];
          std::snprintf(escaped, sizeof escaped, "\\u{%X}", static_cast<unsigned>(byte));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

namespace {

std::string commandFailedText(const std::string& executable, int32_t status) {
  return "commandFailed(executable: " + quotedForDescription(executable) +
         ", status: " + std::to_string(status) + ")";
}

}  // namespace

NetworkQueryError::NetworkQueryError(Kind kind, std::string executable, int32_t status)
    : std::runtime_error(commandFailedText(executable, status)),
      kind_(kind),
      executable_(std::move(executable)),
      status_(status) {}

NetworkQueryError NetworkQueryError::commandFailed(std::string executable, int32_t status) {
  return NetworkQueryError(Kind::commandFailed, std::move(executable), status);
}

NetworkStateError::NetworkStateError(Kind kind, std::string executable, int32_t status,
                                     std::string command, std::string description)
    : std::runtime_error(description),
      kind_(kind),
      executable_(std::move(executable)),
      status_(status),
      command_(std::move(command)) {}

NetworkStateError NetworkStateError::commandFailed(std::string executable, int32_t status) {
  std::string description = commandFailedText(executable, status);
  return NetworkStateError(Kind::commandFailed, std::move(executable), status, {},
                           std::move(description));
}

NetworkStateError NetworkStateError::malformedOutput(std::string command) {
  std::string description = "malformedOutput(command: " + quotedForDescription(command) + ")";
  return NetworkStateError(Kind::malformedOutput, {}, 0, std::move(command),
                           std::move(description));
}

NetworkSystemError::NetworkSystemError(Kind kind, std::string operation, int errorNumber,
                                       std::string name, std::string description)
    : std::runtime_error(description),
      kind_(kind),
      operation_(std::move(operation)),
      errorNumber_(errorNumber),
      name_(std::move(name)) {}

NetworkSystemError NetworkSystemError::systemCallFailed(std::string operation, int errorNumber) {
  std::string description = "systemCallFailed(operation: " + quotedForDescription(operation) +
                            ", errno: " + std::to_string(errorNumber) + ")";
  return NetworkSystemError(Kind::systemCallFailed, std::move(operation), errorNumber, {},
                            std::move(description));
}

NetworkSystemError NetworkSystemError::noSuchObject(std::string name) {
  std::string description = "noSuchObject(name: " + quotedForDescription(name) + ")";
  return NetworkSystemError(Kind::noSuchObject, {}, 0, std::move(name), std::move(description));
}

}  // namespace nubrik
