// The desktop entry the installation puts into the application menu, and the login entry the app
// writes itself: both start the same program under the same name and icon.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/login_item_autostart.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

const std::string packagedEntryPath = NUBRIK_SOURCE_DIR "/packaging/desktop/tamsel.desktop";

std::string readFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::map<std::string, std::string> mainGroup(const std::string& text) {
  std::map<std::string, std::string> keys;
  std::istringstream lines(text);
  std::string line;
  bool inMain = false;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inMain = line == "[Desktop Entry]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (inMain && equals != std::string::npos)
      keys[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return keys;
}

// Runs `command` in a shell; its exit status and what it printed.
std::pair<int, std::string> run(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {-1, ""};
  std::string output;
  char buffer[256];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128, output};
}

TEST(DesktopEntry, TheLoginEntryStartsTheSameProgramUnderTheSameNameAndIcon) {
  const std::map<std::string, std::string> packaged = mainGroup(readFile(packagedEntryPath));
  const std::map<std::string, std::string> login =
      mainGroup(autostartDesktopEntry("/usr/bin/tamsel"));
  EXPECT_EQ(login.at("Name"), packaged.at("Name"));
  EXPECT_EQ(login.at("Icon"), packaged.at("Icon"));
  EXPECT_EQ(login.at("Type"), packaged.at("Type"));
  const std::string& exec = login.at("Exec");
  EXPECT_EQ(exec.substr(exec.rfind('/') + 1), packaged.at("Exec"));
  // Written by the desktop program, the login entry still names the launcher.
  EXPECT_EQ(mainGroup(autostartDesktopEntry(loginItemProgram("/usr/libexec/nubrik/tamsel-desktop")))
                .at("Exec"),
            "/usr/bin/tamsel");
}

TEST(DesktopEntry, BothEntriesPassTheValidator) {
  if (run("command -v desktop-file-validate").first != 0) {
    GTEST_SKIP() << "desktop-file-validate not installed";
  }
  TempDir dir;
  dir.write("tamsel.desktop", autostartDesktopEntry("/opt/My Apps/bin/tamsel"));
  for (const std::string& entry : {std::string(packagedEntryPath), dir.file("tamsel.desktop")}) {
    const auto [status, output] = run("desktop-file-validate '" + entry + "'");
    EXPECT_EQ(status, 0) << output;
    EXPECT_THAT(output, testing::Not(testing::HasSubstr("error")));
  }
}

}  // namespace
}  // namespace nubrik
