#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "helper/transaction/helper_transaction.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik::test {

// The state layer over a fresh directory, with a clock the test sets and log lines in memory:
// a transaction runner, and stores bound to a snapshot of their own for use without one.
class StateFixture : public ::testing::Test {
 protected:
  static mode_t modeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
  }
  bool has(const std::string& name) const { return modeOf(dir.file(name)) != 0; }
  std::set<std::string> entries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
  // Something that no file can replace and no unlink() can remove.
  void occupyWithDirectory(const std::string& name) const {
    std::filesystem::create_directories(dir.file(name + "/occupied"));
  }
  void transact(const std::function<void(Transaction&)>& body,
                StatusEffect effect = StatusEffect::publishes) {
    runner.run(effect, body);
  }

  TempDir dir;
  std::vector<std::string> logLines;
  Date now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  const StatePaths paths = StatePaths::inDirectory(dir.path());
  const Clock clock = [this] { return now; };
  const LogOperation log = [this](const std::string& line) { logLines.push_back(line); };
  TransactionRunner runner{paths, clock, log};
  StatusSnapshot snapshot = StatusSnapshot::publishable(false);
  SessionStore sessions{paths, snapshot, clock, log};
  ScheduleStore schedules{paths, clock, log};
};

}  // namespace nubrik::test
