#include "helper/log/log.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

TEST(LogTest, FormatsOneUtcLinePerMessage) {
  const Date when = dateFromUnixSeconds(1796489491.75);
  EXPECT_EQ(formatLogLine(when, "daemon: launched (uid=0)"),
            "2026-12-05T16:51:31Z nubrik-helper: daemon: launched (uid=0)\n");
  // A line break inside a message must not forge a further line.
  EXPECT_EQ(formatLogLine(when, "xpc: a\n2026-01-01T00:00:00Z nubrik-helper: forged\r\n"),
            "2026-12-05T16:51:31Z nubrik-helper: xpc: a 2026-01-01T00:00:00Z nubrik-helper: "
            "forged  \n");
}

TEST(LogTest, AppendsToAFileInADirectoryCreatedOnDemandButNeverThroughALink) {
  TempDir dir;
  appendLogLine(dir.file("logs/nested/helper.log"), "daemon: first");
  appendLogLine(dir.file("logs/nested/helper.log"), "daemon: second");
  const std::regex twoLines(
      R"(\S+Z nubrik-helper: daemon: first\n\S+Z nubrik-helper: daemon: second\n)");
  EXPECT_TRUE(std::regex_match(dir.read("logs/nested/helper.log"), twoLines));

  dir.write("victim", "untouched");
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("link.log").c_str()), 0);
  appendLogLine(dir.file("link.log"), "daemon: must not land in the link's target");
  EXPECT_EQ(dir.read("victim"), "untouched");
}

TEST(LogTest, AFullLogIsMovedAsideSoTheTwoFilesStayWithinTwiceTheLimit) {
  TempDir dir;
  const std::string file = dir.file("helper.log");
  const off_t limit = 4096;
  // A planted link where the previous log goes is replaced, never written through.
  dir.write("victim", "untouched");
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), (file + ".1").c_str()), 0);

  for (int i = 0; i < 2000; ++i) appendLogLine(file, "line " + std::to_string(i), limit);

  EXPECT_EQ(dir.read("victim"), "untouched");
  const std::string current = dir.read("helper.log");
  const std::string previous = dir.read("helper.log.1");
  EXPECT_LE(current.size(), static_cast<std::size_t>(limit));
  EXPECT_LE(previous.size(), static_cast<std::size_t>(limit));
  EXPECT_GT(previous.size(), static_cast<std::size_t>(limit) - 64);
  // The newest line is the last of the current file, and the two files join without a gap.
  EXPECT_NE(current.find(" nubrik-helper: line 1999\n"), std::string::npos);
  const auto lineNumber = [](const std::string& text, bool last) {
    const std::size_t end = last ? text.rfind('\n', text.size() - 2) + 1 : 0;
    const std::size_t at = text.find("line ", end) + 5;
    return std::stoi(text.substr(at, text.find('\n', at) - at));
  };
  EXPECT_EQ(lineNumber(previous, true) + 1, lineNumber(current, false));
}

TEST(LogTest, ProcessesThatFillTheLogTogetherRotateItWithoutTearingALine) {
  TempDir dir;
  const std::string file = dir.file("helper.log");
  const off_t limit = 8192;
  std::vector<pid_t> children;
  for (int child = 0; child < 3; ++child) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0; i < 3000; ++i) appendLogLine(file, "writer " + std::to_string(child), limit);
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  }
  const std::regex wholeLines(R"((\S+Z nubrik-helper: writer [0-2]\n)*)");
  for (const char* name : {"helper.log", "helper.log.1"}) {
    const std::string text = dir.read(name);
    EXPECT_LE(text.size(), static_cast<std::size_t>(limit)) << name;
    EXPECT_TRUE(std::regex_match(text, wholeLines)) << name;
  }
}

}  // namespace
}  // namespace nubrik
