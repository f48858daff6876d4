#include "bench/ip_tool_network_operations.hpp"

#include <net/if.h>

#include <algorithm>

#include "bench/process_runner.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik::bench {

namespace {

constexpr const char* listCommand = "ip -o link show";

std::optional<IpLinkLine> parseLine(std::string_view line) {
  // "7: veth0@veth1: <BROADCAST,MULTICAST,UP> mtu 1500 ..."
  const size_t indexEnd = line.find(": ");
  if (indexEnd == std::string_view::npos || indexEnd == 0) return std::nullopt;
  for (const char c : line.substr(0, indexEnd)) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const size_t nameBegin = indexEnd + 2;
  const size_t nameEnd = line.find(": ", nameBegin);
  if (nameEnd == std::string_view::npos || nameEnd == nameBegin) return std::nullopt;
  std::string_view name = line.substr(nameBegin, nameEnd - nameBegin);
  name = name.substr(0, name.find('@'));
  if (name.empty()) return std::nullopt;

  const size_t flagsBegin = nameEnd + 2;
  if (flagsBegin >= line.size() || line[flagsBegin] != '<') return std::nullopt;
  const size_t flagsEnd = line.find('>', flagsBegin);
  if (flagsEnd == std::string_view::npos) return std::nullopt;
  const std::string_view flags = line.substr(flagsBegin + 1, flagsEnd - flagsBegin - 1);
  bool up = false;
  bool loopback = false;
  size_t start = 0;
  while (start <= flags.size()) {
    const size_t comma = std::min(flags.find(',', start), flags.size());
    if (flags.substr(start, comma - start) == "UP") up = true;
    if (flags.substr(start, comma - start) == "LOOPBACK") loopback = true;
    start = comma + 1;
  }
  return IpLinkLine{std::string(name), up, loopback};
}

std::vector<IpLinkLine> listLinks(const std::vector<std::string>& argv) {
  const CommandResult result = runCommand(argv);
  if (result.exitStatus != 0) throw NetworkQueryError::commandFailed(ipTool(), result.exitStatus);
  std::optional<std::vector<IpLinkLine>> links = parseIpLinkLines(result.output);
  if (!links) throw NetworkStateError::malformedOutput(listCommand);
  return std::move(*links);
}

// One process per link, as the tools answer for one object at a time.
std::optional<bool> linkIsUp(const std::string& name) {
  try {
    const std::vector<IpLinkLine> links = listLinks({ipTool(), "-o", "link", "show", "dev", name});
    if (links.size() == 1 && links.front().name == name) return links.front().up;
  } catch (...) {
  }
  return std::nullopt;
}

bool setLinkUp(const std::string& name, bool up) {
  return runCommand({ipTool(), "link", "set", "dev", name, up ? "up" : "down"}).exitStatus == 0;
}

}  // namespace

std::optional<std::vector<IpLinkLine>> parseIpLinkLines(std::string_view output) {
  std::vector<IpLinkLine> links;
  while (!output.empty()) {
    const size_t end = output.find('\n');
    const std::string_view line = output.substr(0, end);
    output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
    if (line.empty()) continue;
    std::optional<IpLinkLine> link = parseLine(line);
    if (!link) return std::nullopt;
    links.push_back(std::move(*link));
  }
  return links;
}

SwitchReadings IpToolNetworkSwitches::read(SwitchKind kind, Listing listing) {
  SwitchReadings readings;
  if (kind != SwitchKind::interface) return readings;
  for (IpLinkLine& link : listLinks({ipTool(), "-o", "link", "show"})) {
    if (listing == Listing::record || !link.loopback) {
      readings.push_back({link.name, linkIsUp(link.name)});
    }
  }
  return readings;
}

bool IpToolNetworkSwitches::set(SwitchKind kind, const std::string& name, bool on) {
  return kind == SwitchKind::interface && setLinkUp(name, on);
}

// Like the rtnetlink backend, only the loopback device is spared. The kernel gives it index 1 in
// every network namespace; asking for the index costs no process, which keeps the comparison with
// the rtnetlink backend about the changes themselves.
bool IpToolNetworkSwitches::sparesInterface(const std::string& name) {
  return ::if_nametoindex(name.c_str()) == 1;
}

}  // namespace nubrik::bench
