#include "tests/support/private_system_bus.hpp"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace nubrik::test {

namespace {

std::string replaced(std::string text, const std::string& placeholder, const std::string& value) {
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
  return text;
}

}  // namespace

PrivateSystemBus::PrivateSystemBus(bool open) {
  std::ifstream templateFile(NUBRIK_SOURCE_DIR "/packaging/test/private-system-bus.conf.in");
  if (!templateFile) {
    configFailure_ = "bus configuration template missing";
    return;
  }
  std::stringstream text;
  text << templateFile.rdbuf();
  socketPath_ = dir_.file("bus");
  std::string config = replaced(text.str(), "@SOCKET@", socketPath_);
  config = replaced(config, "@POLICY@", NUBRIK_SOURCE_DIR "/packaging/dbus/com.nubrik.helper.conf");
  if (open) {
    // Later rules win over the default policy's denials.
    config = replaced(config, "</busconfig>",
                      "<policy context=\"default\"><allow own=\"*\"/>"
                      "<allow send_type=\"method_call\"/></policy></busconfig>");
  }
  dir_.write("bus.conf", config);

  daemon_.start("--config-file=" + dir_.file("bus.conf"));
}

void PrivateSystemBus::openToOtherUsers() const {
  ::chmod(dir_.path().c_str(), 0755);
}

}  // namespace nubrik::test
