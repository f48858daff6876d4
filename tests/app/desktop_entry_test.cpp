// The desktop entry the installation puts into the application menu, and the login entry the app
// writes itself: both start the same program under the same name and icon.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/login_item_autostart.hpp"
#include "tests/support/temp_dir.hpp"

extern char** environ;

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

struct ProgramRun {
  int status = -1;
  std::string output;
};

// Runs a program with its output in a file; status -1 when it could not be started at all.
ProgramRun run(std::vector<std::string> arguments) {
  TempDir dir;
  const std::string outputPath = dir.file("output");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ProgramRun result;
  if (spawned != 0) return result;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  result.output = readFile(outputPath);
  return result;
}

bool installed(const std::string& program) {
  return run({"sh", "-c", "command -v " + program}).status == 0;
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
  if (!installed("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate not installed";
  const ProgramRun packaged = run({"desktop-file-validate", packagedEntryPath});
  EXPECT_EQ(packaged.status, 0) << packaged.output;
  EXPECT_THAT(packaged.output, testing::Not(testing::HasSubstr("error")));

  TempDir dir;
  dir.write("tamsel.desktop", autostartDesktopEntry("/opt/My Apps/bin/tamsel"));
  const ProgramRun login = run({"desktop-file-validate", dir.file("tamsel.desktop")});
  EXPECT_EQ(login.status, 0) << login.output;
  EXPECT_THAT(login.output, testing::Not(testing::HasSubstr("error")));
}

}  // namespace
}  // namespace nubrik
