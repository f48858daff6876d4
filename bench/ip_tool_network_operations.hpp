#pragma once

// A network backend that runs the ip tool once per listing, per state and per change, the way a
// backend built on command-line tools works. It exists only to be measured against the rtnetlink
// backend; it knows links only (no services, no Wi-Fi devices).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helper/net/network_switches.hpp"

namespace nubrik::bench {

struct IpLinkLine {
  std::string name;       // without the "@peer" suffix of veth links
  bool up = false;        // UP among the flags in angle brackets
  bool loopback = false;  // LOOPBACK among them: the loopback device, whatever its name
};

// Parses the output of "ip -o link show": one line per link, "<index>: <name>[@<peer>]: <flags>
// ...". nullopt when a line does not have that shape.
std::optional<std::vector<IpLinkLine>> parseIpLinkLines(std::string_view output);

class IpToolNetworkSwitches final : public NetworkSwitches {
 public:
  SwitchReadings read(SwitchKind kind, Listing listing) override;
  bool set(SwitchKind kind, const std::string& name, bool on) override;
  bool sparesInterface(const std::string& name) override;
};

}  // namespace nubrik::bench
