#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>

#include "helper/context/helper.hpp"
#include "helper/daemon/network_event_handler.hpp"
#include "tests/helper/coordinators/fake_network.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using std::chrono::hours;
using std::chrono::seconds;

// A link that something keeps bringing up during a session, corrected ten thousand times, one
// second apart, by the daemon's own event path: each correction still happens, the log file
// keeps the first line of every burst as it is and one count per burst, and stays small.
TEST(LogUnderLinkChurn, TenThousandCorrectionsKeepEachBurstsFirstLineAndACountAndStaySmall) {
  TempDir dir;
  Date now = dateFromUnixSeconds(1796489491);
  auto owned = std::make_unique<test::FakeNetwork>();
  test::FakeNetwork& network = *owned;
  network.listed["interfaces"] = {"eth0"};
  const std::string logFile = dir.file("log/helper.log");
  std::optional<Helper> helper;
  helper.emplace(HelperParts{.network = std::move(owned),
                             .logFile = logFile,
                             .paths = StatePaths::inDirectory(dir.path()),
                             .clock = [&now] { return now; }});
  dir.write("session.json", "{}");
  helper->noteTickFinding(
      {TickFinding::State::enforcing, stampOf(helper->paths().sessionFile), now + hours(24)});
  const NetworkEventHandler handler(NetworkEventDependencies::production(*helper, [] {}));

  constexpr int corrections = 10000;
  ChangeBatch linkUp;
  linkUp.links = {{2, "eth0", true}};
  for (int i = 0; i < corrections; ++i) {
    now += seconds(1);
    network.state["interface eth0"] = true;
    handler.handle(linkUp);
    ASSERT_FALSE(network.state["interface eth0"]) << "correction " << i;
    if (i % 5 == 4) helper->closeEndedLogBursts();  // the daemon's tick
  }
  helper.reset();  // the end of the process writes the last counts

  // Every message of a correction is written once per burst of 60 s, and the counts that follow
  // add up to every correction: nothing is hidden, and nothing is written 10,000 times.
  std::ifstream in(logFile);
  const std::regex summary(R"(repeated (\d+) more times since \S+Z: (.*))");
  const std::string prefix = " nubrik-helper: ";
  std::map<std::string, int> written;
  std::map<std::string, int> counted;
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    const std::string message = line.substr(line.find(prefix) + prefix.size());
    std::smatch match;
    if (std::regex_match(message, match, summary)) {
      counted[match[2]] += std::stoi(match[1]);
    } else {
      ++written[message];
    }
  }
  ASSERT_FALSE(written.empty());
  EXPECT_TRUE(written.contains("enforcement: re-applied offline lock"));
  const int bursts = (corrections + 59) / 60;
  for (const auto& [message, times] : written) {
    EXPECT_EQ(times, bursts) << message;
    EXPECT_EQ(times + counted[message], corrections) << message;
  }
  EXPECT_LE(lines, 2 * bursts * static_cast<int>(written.size()));
  // Written out in full, the corrections would take about 1.5 MB.
  EXPECT_LT(std::filesystem::file_size(logFile), 128u * 1024u);
}

}  // namespace
}  // namespace nubrik
