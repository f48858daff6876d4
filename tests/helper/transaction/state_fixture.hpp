#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/state_location.hpp"
#include "helper/log/log.hpp"
#include "helper/transaction/helper_transaction.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik::test {

// Points the whole state layer at a fresh directory and captures log lines in memory.
class StateFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    StateLocation::setTestSupportDirectoryForTest(dir.path());
    HelperTransaction::invalidateSnapshot();
    setLogHandler([this](const std::string& line) { logLines.push_back(line); });
  }
  void TearDown() override {
    setLogHandler(nullptr);
    StateLocation::setTestSupportDirectoryForTest(std::nullopt);
  }

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

  TempDir dir;
  std::vector<std::string> logLines;
};

}  // namespace nubrik::test
