#include "app/schedule_editor.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/session_client.hpp"
#include "tests/app/schedule_editor_fakes.hpp"
#include "tests/app/session_client_fakes.hpp"

namespace nubrik {
namespace {

using List = std::vector<RecurringSchedule>;

const std::string unavailableText =
    "The helper is unavailable. Make sure it is installed and running.";

RecurringSchedule schedule(std::string id, std::set<std::int64_t> weekdays = {3},
                           std::int64_t start = 540, bool enabled = true) {
  return RecurringSchedule{std::move(id), std::move(weekdays), start, 60, enabled};
}

using test::quietTime;

struct EditorHarness : test::ScheduleEditorFakes {
  EditorHarness() {
    editor = std::make_unique<ScheduleEditor>(dependencies());
    editor->setChangeHandler([this] { ++changes; });
    editor->setCloseHandler([this] { ++closes; });
  }

  void openWith(const List& list) {
    editor->open();
    loads.at(0)(ScheduleLoadOutcome::loaded(list));
  }

  const ScheduleEditorState& state() const { return editor->state(); }

  int changes = 0;
  int closes = 0;
  std::unique_ptr<ScheduleEditor> editor;
};

// Which lists may be saved, and when a save must ask first, are the decision tables of
// schedule_editing_test; the sheet's test asks before a save through the editor.
TEST(ScheduleEditorLoad, OpeningLoadsOnceAndTheOutcomeDecidesThePhase) {
  struct Case {
    ScheduleLoadOutcome outcome;
    ScheduleEditorPhase phase;
    List schedules;
  };
  const List list = {schedule("A"), schedule("B")};
  const std::vector<Case> cases = {
      {ScheduleLoadOutcome::loaded(list), ScheduleEditorPhase::editing(), list},
      {ScheduleLoadOutcome::helperUnavailable(),
       ScheduleEditorPhase::loadFailed(unavailableText),
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.outcome));
    EditorHarness h;
    h.editor->open();
    h.editor->open();
    ASSERT_EQ(h.loads.size(), 1u);
    EXPECT_EQ(h.state().phase, ScheduleEditorPhase::loading());
    EXPECT_FALSE(h.editor->addSchedule());

    h.loads[0](c.outcome);
    EXPECT_EQ(h.state().phase, c.phase);
    EXPECT_EQ(h.state().schedules, c.schedules);
    EXPECT_EQ(h.state().loadedSchedules, c.schedules);
  }
}

TEST(ScheduleEditorLoad, RetryIsOnlyForAFailedLoad) {
  EditorHarness h;
  EXPECT_FALSE(h.editor->retry());
  h.editor->open();
  EXPECT_FALSE(h.editor->retry());  // still loading
  h.loads[0](ScheduleLoadOutcome::helperUnavailable());

  EXPECT_TRUE(h.editor->retry());
  EXPECT_EQ(h.state().phase, ScheduleEditorPhase::loading());
  ASSERT_EQ(h.loads.size(), 2u);
  h.loads[1](ScheduleLoadOutcome::loaded({schedule("A")}));
  EXPECT_EQ(h.state().phase, ScheduleEditorPhase::editing());
  EXPECT_EQ(h.state().schedules, List{schedule("A")});

  EXPECT_FALSE(h.editor->retry());
  // A second answer to a load already answered is not awaited.
  h.loads[0](ScheduleLoadOutcome::failed("late"));
  EXPECT_EQ(h.state().phase, ScheduleEditorPhase::editing());
  EXPECT_EQ(h.loads.size(), 2u);
}

TEST(ScheduleEditorDraft, EditsStayInTheDraftUntilDone) {
  EditorHarness h;
  const List loaded = {schedule("A"), schedule("B"), schedule("C")};
  h.openWith(loaded);

  ASSERT_TRUE(h.editor->editSchedule("B"));
  EXPECT_EQ(h.state().draft, (ScheduleDraft{schedule("B"), false}));
  EXPECT_TRUE(h.editor->setDraftWeekday(5, true));
  EXPECT_TRUE(h.editor->setDraftWeekday(3, false));
  EXPECT_TRUE(h.editor->stepDraftStart(true));
  EXPECT_TRUE(h.editor->enterDraftDuration("1:15"));
  EXPECT_EQ(h.state().schedules, loaded);
  // The list is out of reach while the form is open.
  EXPECT_FALSE(h.editor->addSchedule());
  EXPECT_FALSE(h.editor->deleteSchedule("A"));
  EXPECT_FALSE(h.editor->save());

  ASSERT_TRUE(h.editor->commitDraft());
  const List edited = {schedule("A"), RecurringSchedule{"B", {5}, 545, 75, true}, schedule("C")};
  EXPECT_EQ(h.state(), (ScheduleEditorState{ScheduleEditorPhase::editing(), edited, loaded,
                                            std::nullopt, "B", false, std::nullopt, false}));
  EXPECT_TRUE(h.editor->saveIsEnabled());
  EXPECT_TRUE(h.sent.empty());
}

TEST(ScheduleEditorDraft, CancelDropsTheDraftAndANewOneIsAppendedOnDone) {
  EditorHarness h;
  h.openWith({schedule("A")});

  ASSERT_TRUE(h.editor->editSchedule("A"));
  h.editor->setDraftStartMinute(600);
  ASSERT_TRUE(h.editor->cancelDraft());
  EXPECT_EQ(h.state().schedules, List{schedule("A")});
  EXPECT_FALSE(h.state().lastEditedID);
  EXPECT_FALSE(h.editor->saveIsEnabled());

  ASSERT_TRUE(h.editor->addSchedule());
  EXPECT_EQ(h.state().draft, (ScheduleDraft{makeDefaultSchedule("NEW-1"), true}));
  EXPECT_EQ(h.state().schedules, List{schedule("A")});
  ASSERT_TRUE(h.editor->commitDraft());
  EXPECT_EQ(h.state().schedules, (List{schedule("A"), makeDefaultSchedule("NEW-1")}));
  EXPECT_EQ(h.state().lastEditedID, "NEW-1");

  EXPECT_FALSE(h.editor->editSchedule("missing"));
  EXPECT_FALSE(h.editor->commitDraft());
  EXPECT_FALSE(h.editor->cancelDraft());
}

TEST(ScheduleEditorDraft, ValuesThatAreNotValidLeaveTheDraftAsItWas) {
  EditorHarness h;
  h.openWith({});
  ASSERT_TRUE(h.editor->addSchedule());
  const auto before = h.state().draft;
  const int changes = h.changes;

  EXPECT_FALSE(h.editor->enterDraftStart("9:60"));
  EXPECT_FALSE(h.editor->enterDraftDuration("4"));
  EXPECT_FALSE(h.editor->setDraftStartMinute(1440));
  EXPECT_FALSE(h.editor->setDraftDurationMinutes(1441));
  EXPECT_FALSE(h.editor->setDraftWeekday(0, true));
  EXPECT_FALSE(h.editor->setDraftWeekday(8, true));
  EXPECT_TRUE(h.editor->setDraftWeekday(2, true));  // already chosen: taken, nothing changes
  EXPECT_TRUE(h.editor->enterDraftStart("09:00"));  // the same value
  EXPECT_EQ(h.state().draft, before);
  EXPECT_EQ(h.changes, changes);

  h.editor->setDraftDurationMinutes(5);
  EXPECT_TRUE(h.editor->stepDraftDuration(false));  // stays at the shortest
  EXPECT_EQ(h.state().draft->schedule.durationMinutes, 5);
}

// Switching and deleting through a row's controls is the sheet's test.
TEST(ScheduleEditorList, AddingStopsAtTwentySchedules) {
  List nineteen;
  for (int i = 0; i < 19; ++i) nineteen.push_back(schedule("S" + std::to_string(i)));
  EditorHarness h;
  h.openWith(nineteen);

  EXPECT_TRUE(h.editor->canAddSchedule());
  ASSERT_TRUE(h.editor->addSchedule());
  ASSERT_TRUE(h.editor->commitDraft());
  EXPECT_EQ(h.state().schedules.size(), 20u);
  EXPECT_FALSE(h.editor->canAddSchedule());
  EXPECT_FALSE(h.editor->addSchedule());
  EXPECT_FALSE(h.state().draft);
  EXPECT_TRUE(h.editor->saveIsEnabled());

  ASSERT_TRUE(h.editor->deleteSchedule("S0"));
  EXPECT_TRUE(h.editor->canAddSchedule());
}

TEST(ScheduleEditorSave, EachOutcomeOfASave) {
  const List loaded = {schedule("A")};
  const List edited = {schedule("A", {4})};
  struct Case {
    ScheduleSaveOutcome outcome;
    std::optional<std::string> message;
    bool closes;
  };
  const std::vector<Case> cases = {
      {ScheduleSaveOutcome::saved(), std::nullopt, true},
      {ScheduleSaveOutcome::refused("The helper could not save the schedules."),
       "The helper could not save the schedules.", false},
      {ScheduleSaveOutcome::helperUnavailable(), unavailableText, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.outcome));
    EditorHarness h;
    h.openWith(loaded);
    h.editor->editSchedule("A");
    h.editor->setDraftWeekday(4, true);
    h.editor->setDraftWeekday(3, false);
    h.editor->commitDraft();

    ASSERT_TRUE(h.editor->save());
    EXPECT_TRUE(h.state().saving);
    ASSERT_EQ(h.sent, std::vector<List>{edited});
    // Nothing moves while the helper decides.
    EXPECT_FALSE(h.editor->save());
    EXPECT_FALSE(h.editor->addSchedule());
    EXPECT_FALSE(h.editor->setScheduleEnabled("A", false));
    EXPECT_FALSE(h.editor->saveIsEnabled());

    h.saves.at(0)(c.outcome);
    EXPECT_EQ(h.state(), (ScheduleEditorState{ScheduleEditorPhase::editing(), edited,
                                              c.closes ? edited : loaded, std::nullopt, "A", false,
                                              c.message, false}));
    EXPECT_EQ(h.closes, c.closes ? 1 : 0);
    EXPECT_EQ(h.synced, c.closes ? std::vector<List>{edited} : std::vector<List>{});
    // A failed save keeps the list for another try, which clears the old message.
    EXPECT_EQ(h.editor->saveIsEnabled(), !c.closes);
    if (!c.closes) {
      ASSERT_TRUE(h.editor->save());
      EXPECT_FALSE(h.state().saveMessage);
    }
  }
}

TEST(ScheduleEditorLifetime, AnswersForAClosedSheetTouchNothingButTheLoginItemStillFollows) {
  EditorHarness h;
  h.openWith({});
  h.editor->addSchedule();
  h.editor->commitDraft();
  ASSERT_TRUE(h.editor->save());
  h.editor.reset();
  const int changes = h.changes;

  h.saves.at(0)(ScheduleSaveOutcome::saved());
  EXPECT_EQ(h.synced, std::vector<List>{{makeDefaultSchedule("NEW-1")}});
  EXPECT_EQ(h.closes, 0);
  EXPECT_EQ(h.changes, changes);

  EditorHarness loading;
  loading.editor->open();
  loading.editor.reset();
  loading.loads.at(0)(ScheduleLoadOutcome::loaded({schedule("A")}));
  EXPECT_EQ(loading.changes, 1);  // the start of the load only
}

TEST(ScheduleEditorProduction, RequestsGoThroughTheSessionClient) {
  test::FakeMainQueue queue;
  std::vector<std::shared_ptr<test::FakeHelperConnection>> connections;
  const SessionClient client(SessionClientDependencies{
      &queue,
      [] { return std::optional<std::string>("TEAM0001"); },
      [&](const HelperConnectionOptions&) -> std::shared_ptr<HelperConnection> {
        connections.push_back(std::make_shared<test::FakeHelperConnection>());
        return connections.back();
      },
      [] { return TimeoutScheduler::manual([](std::function<void()>) {}); },
  });
  std::vector<List> synced;
  auto dependencies = ScheduleEditorDependencies::production(
      client, [&](const List& list) { synced.push_back(list); });
  ASSERT_TRUE(dependencies.now && dependencies.calendar);
  // The default schedule may be open at the real time; the question is not under test here.
  dependencies.now = [] { return quietTime; };
  ScheduleEditor editor(std::move(dependencies));
  bool closed = false;
  editor.setCloseHandler([&] { closed = true; });

  editor.open();
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_EQ(connections[0]->sent, std::vector<std::string>{"GetSchedules"});
  connections[0]->scheduleGetReply(0, encodeSchedules({}), "");
  queue.drain();
  ASSERT_EQ(editor.state().phase, ScheduleEditorPhase::editing());

  ASSERT_TRUE(editor.addSchedule());
  const std::string id = editor.state().draft->schedule.id;
  EXPECT_EQ(id.size(), 36u);
  ASSERT_TRUE(editor.commitDraft());
  ASSERT_TRUE(editor.save());
  ASSERT_EQ(connections.size(), 2u);
  EXPECT_EQ(connections[1]->sent, std::vector<std::string>{"SetSchedules"});
  EXPECT_EQ(decodeSchedules(connections[1]->schedulePayload), List{makeDefaultSchedule(id)});
  connections[1]->scheduleSetReply(0, "Schedules saved.");
  queue.drain();
  EXPECT_TRUE(closed);
  EXPECT_EQ(synced, std::vector<List>{{makeDefaultSchedule(id)}});
  for (auto& connection : connections) connection->forgetEverything();
}

}  // namespace
}  // namespace nubrik
