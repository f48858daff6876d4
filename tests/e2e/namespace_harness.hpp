// Runs the real helper binary as root inside private mount, network and PID namespaces with tmpfs
// over every directory it writes, so nothing a test does touches the host's state or links. A
// test hands a bash script to runIsolated(); the script leaves what it saw as files in $OUT, and
// the test asserts on those files afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace nubrik::test {

inline const std::string helperBinary = NUBRIK_BINARY_DIR "/bin/com.nubrik.helper";

// Sourced by every script before its own lines: private state directories, bounded polling and
// small probes. Read from the source tree when the test runs, so a change to it needs no rebuild.
inline const std::string namespacePrelude = NUBRIK_E2E_NAMESPACE_PRELUDE;

// The line of a script that sources the prelude at `path` (SetUp has made sure it is readable).
inline std::string sourceLine(const std::string& path) {
  return ". '" + path + "'\n";
}

class NamespaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to create namespaces and mount tmpfs";
    if (::access(helperBinary.c_str(), X_OK) != 0) GTEST_SKIP() << "no helper at " << helperBinary;
    ASSERT_EQ(::access(namespacePrelude.c_str(), R_OK), 0) << "cannot read " << namespacePrelude;
    // Mount points for the private tmpfs; the host's own state is never written.
    std::error_code ignored;
    std::filesystem::create_directories("/var/lib/nubrik", ignored);
    std::filesystem::create_directories("/var/log/nubrik", ignored);
  }

  // Runs the script after the prelude, bounded by a time-out (seconds). Skips the test when the
  // namespaces cannot be set up or the script says so; afterwards the body goes on only if ran()
  // is true.
  void runIsolated(const std::string& script, int timeoutSeconds = 120) {
    out.write("script.sh", sourceLine(namespacePrelude) + script);
    const std::string command = "HELPER='" + helperBinary + "' OUT='" + out.path() +
                                "' timeout --kill-after=5 " + std::to_string(timeoutSeconds) +
                                " unshare --mount --net --pid --fork --mount-proc "
                                "--kill-child /bin/bash '" +
                                out.file("script.sh") + "' >'" + out.file("script.log") + "' 2>&1";
    const int status = std::system(command.c_str());
    if (!std::filesystem::exists(out.file("entered"))) {
      GTEST_SKIP() << "cannot isolate the helper here: " << read("script.log");
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "script failed (" << status << "):\n"
        << read("script.log");
    EXPECT_FALSE(std::filesystem::exists(out.file("timeouts"))) << read("timeouts");
    if (std::filesystem::exists(out.file("skip"))) GTEST_SKIP() << read("skip");
  }

  bool ran() const { return !IsSkipped() && !HasFatalFailure(); }

  std::string read(const std::string& name) const {
    try {
      return out.read(name);
    } catch (const std::exception&) {
      return {};
    }
  }
  int statusOf(const std::string& name) const {
    const std::string text = read(name + ".status");
    return text.empty() ? -1 : std::stoi(text);
  }
  void expectCommand(const std::string& name, int status, const std::string& stdoutText,
                     const std::string& stderrText) const {
    EXPECT_EQ(statusOf(name), status) << name;
    EXPECT_EQ(read(name + ".out"), stdoutText) << name;
    EXPECT_EQ(read(name + ".err"), stderrText) << name;
  }

  // The messages of the log kept by finish() (or of another copy of it in $OUT), without their
  // time stamps, in order.
  std::vector<std::string> logMessages(const std::string& name = "log") const {
    static const std::string marker = " nubrik-helper: ";
    std::vector<std::string> messages;
    const std::string text = read(name);
    size_t begin = 0;
    while (begin < text.size()) {
      size_t end = text.find('\n', begin);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(begin, end - begin);
      const size_t at = line.find(marker);
      messages.push_back(at == std::string::npos ? line : line.substr(at + marker.size()));
      begin = end + 1;
    }
    return messages;
  }
  size_t logCount(const std::string& message, const std::string& name = "log") const {
    const std::vector<std::string> messages = logMessages(name);
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
  }
  // Position of the first log line that is exactly the message; npos when there is none.
  size_t logIndex(const std::string& message) const {
    const std::vector<std::string> messages = logMessages();
    const auto found = std::find(messages.begin(), messages.end(), message);
    return found == messages.end() ? std::string::npos
                                   : static_cast<size_t>(found - messages.begin());
  }
  // The messages in which `pattern` occurs (regex_search).
  std::vector<std::string> logMatching(const std::string& pattern,
                                       const std::string& name = "log") const {
    const std::regex expression(pattern);
    std::vector<std::string> found;
    for (const std::string& message : logMessages(name)) {
      if (std::regex_search(message, expression)) found.push_back(message);
    }
    return found;
  }
  void expectLogged(const std::string& message) const {
    EXPECT_NE(logIndex(message), std::string::npos) << message << "\nin:\n" << read("log");
  }

  TempDir out;
};

}  // namespace nubrik::test
