#include "helper/log/log.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

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

}  // namespace
}  // namespace nubrik
