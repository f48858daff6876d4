#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nubrik {

// One rfkill switch of type "wlan" as its sysfs directory describes it.
struct RfkillSwitch {
  uint32_t index;    // N of the directory "rfkillN"
  std::string name;  // content of "name", trimmed: the device name the daemon uses
  bool softBlocked;  // content of "soft" is "1"
  bool operator==(const RfkillSwitch&) const = default;
};

// The Wi-Fi devices of the machine: the rfkill switches of type "wlan" listed under a sysfs root
// (the kernel's /sys/class/rfkill, or a tree of the same shape). A device is powered while its
// switch is not soft-blocked.
class RfkillSwitches {
 public:
  RfkillSwitches(std::string sysfsRoot, std::string controlDevice);

  // Every wlan switch in index order. A missing root means no switches. Throws
  // NetworkSystemError when the root or an entry cannot be read, and
  // NetworkStateError::malformedOutput("rfkill") for a garbled wlan entry or a repeated name:
  // no partial lists.
  std::vector<RfkillSwitch> wlanSwitches() const;

  // The names of wlanSwitches(), in the same order; throws alike.
  std::vector<std::string> deviceNames() const;

  // Whether the named device is powered (not soft-blocked). Throws as wlanSwitches(), and
  // NetworkSystemError::noSuchObject when no wlan switch has that name.
  bool powered(const std::string& device) const;

  // Blocks or unblocks the named device: through the control device when the root is the
  // kernel's sysfs and the control device exists, else by writing its "soft" file. True only
  // when the switch then reads back in the requested state. Never throws.
  bool setPowered(const std::string& device, bool on) const;

 private:
  std::string sysfsRoot_;
  std::string controlDevice_;
};

}  // namespace nubrik
