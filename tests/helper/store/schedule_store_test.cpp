#include "helper/store/schedule_store.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "tests/helper/transaction/state_fixture.hpp"

namespace nubrik {
namespace {

using Kind = ScheduleStoreError::Kind;

RecurringSchedule schedule(const std::string& id, std::int64_t duration = 60) {
  return {id, {2, 3, 4, 5, 6}, 540, duration, true};
}

std::vector<RecurringSchedule> numbered(int count) {
  std::vector<RecurringSchedule> schedules;
  for (int i = 0; i < count; ++i) schedules.push_back(schedule("S" + std::to_string(i)));
  return schedules;
}

const Date kWindow = dateFromReferenceSeconds(789292800);
const Date kStamp = dateFromUnixSeconds(1796486400.7);

class ScheduleStoreTest : public test::StateFixture {
 protected:
  void SetUp() override { now = kStamp; }
  void writeState(const ScheduleState& state) const {
    dir.write("schedules.json", encodeScheduleState(state));
  }
  std::optional<Kind> saveError(const ScheduleState& state) {
    try {
      schedules.save(state);
      return std::nullopt;
    } catch (const ScheduleStoreError& error) {
      return error.kind();
    }
  }
};

TEST_F(ScheduleStoreTest, SavesPrivatelyAndLoadsWhatItSaved) {
  EXPECT_EQ(schedules.load(), ScheduleState{});
  const ScheduleState state{{schedule("A"), schedule("B")}, {{"A", kWindow}}};
  schedules.save(state);

  EXPECT_EQ(modeOf(dir.file("schedules.json")), 0600u);
  EXPECT_EQ(entries(), std::set<std::string>{"schedules.json"});  // no temporary file left
  EXPECT_EQ(schedules.load(), state);
  EXPECT_TRUE(logLines.empty());
}

TEST_F(ScheduleStoreTest, UndecodableFilesAreQuarantinedWithoutOverwritingEvidence) {
  dir.write("schedules.json", "not json");
  EXPECT_EQ(schedules.load(), ScheduleState{});
  dir.write("schedules.json", R"({"schedules":[]})");
  EXPECT_EQ(schedules.load(), ScheduleState{});

  EXPECT_EQ(entries(), (std::set<std::string>{"schedules.corrupt.1796486400",
                                              "schedules.corrupt.1796486400-1"}));
  EXPECT_EQ(dir.read("schedules.corrupt.1796486400"), "not json");
  ASSERT_EQ(logLines.size(), 4u);
  EXPECT_TRUE(logLines[0].starts_with("schedules: undecodable file (not JSON: "));
  EXPECT_TRUE(logLines[0].ends_with("); quarantining"));
  EXPECT_EQ(logLines[1], "schedules: corrupt file quarantined as schedules.corrupt.1796486400");
  EXPECT_EQ(logLines[2],
            R"(schedules: undecodable file (missing key "firedWindows"); quarantining)");
  EXPECT_EQ(logLines[3], "schedules: corrupt file quarantined as schedules.corrupt.1796486400-1");

  // A file far beyond any list of schedules is not read into memory; it is evidence all the same.
  dir.write("schedules.json", "");
  std::filesystem::resize_file(dir.file("schedules.json"), 100 * 1024 * 1024);  // sparse
  EXPECT_EQ(schedules.load(), ScheduleState{});
  EXPECT_EQ(std::filesystem::file_size(dir.file("schedules.corrupt.1796486400-2")),
            100u * 1024 * 1024);
  EXPECT_FALSE(has("schedules.json"));
}

TEST_F(ScheduleStoreTest, UnreadableFilesAreLeftInPlace) {
  dir.write("elsewhere.json", encodeScheduleState({{schedule("A")}, {}}));
  ASSERT_EQ(::symlink(dir.file("elsewhere.json").c_str(), dir.file("schedules.json").c_str()), 0);
  EXPECT_EQ(schedules.load(), ScheduleState{});  // a link is never followed
  ASSERT_EQ(logLines.size(), 1u);
  EXPECT_TRUE(
      logLines[0].starts_with("schedules: unreadable file (open " + dir.file("schedules.json")));
  EXPECT_TRUE(logLines[0].ends_with("); using empty schedules"));
  EXPECT_EQ(entries(), (std::set<std::string>{"elsewhere.json", "schedules.json"}));
}

TEST_F(ScheduleStoreTest, LoadDropsInvalidDuplicateAndSurplusSchedules) {
  std::vector<RecurringSchedule> stored = numbered(25);
  stored.insert(stored.begin() + 1, schedule("S0", 90));  // a second S0
  stored.insert(stored.begin() + 2, schedule("bad", 4));
  writeState({stored, {{"S0", kWindow}, {"bad", kWindow}, {"S22", kWindow}, {"gone", kWindow}}});
  const std::string before = dir.read("schedules.json");

  const ScheduleState loaded = schedules.load();
  EXPECT_EQ(loaded.schedules, numbered(20));
  EXPECT_EQ(loaded.firedWindows, (std::map<std::string, Date>{{"S0", kWindow}}));
  EXPECT_EQ(logLines, (std::vector<std::string>{"schedules: dropping duplicate schedule id 'S0'",
                                                "schedules: dropping invalid schedule 'bad'"}));
  EXPECT_EQ(dir.read("schedules.json"), before);  // the next save writes the cleaned form
}

TEST_F(ScheduleStoreTest, SaveChecksEachScheduleBeforeTheCountAndCleansUpAfterFailure) {
  std::vector<RecurringSchedule> tooMany = numbered(21);
  EXPECT_EQ(saveError({tooMany, {}}), Kind::tooManySchedules);
  tooMany[20].weekdays = {8};
  EXPECT_EQ(saveError({tooMany, {}}), Kind::invalidSchedule);
  EXPECT_EQ(saveError({{schedule("A"), schedule("A"), schedule("B", 4)}, {}}), Kind::duplicateID);
  EXPECT_EQ(saveError({{schedule("A"), schedule("B", 4), schedule("A")}, {}}),
            Kind::invalidSchedule);
  EXPECT_TRUE(entries().empty());

  occupyWithDirectory("schedules.json");  // the rename into place fails
  EXPECT_THROW(schedules.save({{schedule("A")}, {}}), std::system_error);
  EXPECT_EQ(entries(), std::set<std::string>{"schedules.json"});
}

TEST_F(ScheduleStoreTest, RecordFiredReplacesTheEntryOfAStoredSchedule) {
  schedules.save({{schedule("A"), schedule("B")}, {{"A", kWindow}, {"B", kWindow}}});
  const Date next = kWindow + std::chrono::hours(24);
  schedules.recordFired("A", next);
  EXPECT_EQ(schedules.load().firedWindows,
            (std::map<std::string, Date>{{"A", next}, {"B", kWindow}}));

  EXPECT_THROW(schedules.recordFired("C", next), ScheduleStoreError);
}

}  // namespace
}  // namespace nubrik
