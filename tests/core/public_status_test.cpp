#include "core/public_status.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <stdexcept>
#include <system_error>

#include "core/json_fields.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

using Kind = GenerationConsistentStatusObservation::Kind;
using Reason = PublicStatusUnavailableReason;

const std::string S = "/run/status.json";
const std::string G = "/run/generation.json";

std::string generation(std::uint64_t sequence, const std::string& epoch = "E1") {
  return encodeGeneration({epoch, sequence});
}

// Files in memory. Reads see the current content; `afterRead[n]` changes the files right after
// the n-th read (1-based, counting status and generation reads), which is how a writer racing
// the reader is staged.
struct FakeFiles {
  std::map<std::string, std::string> files;
  std::set<std::string> unreadable;
  std::map<int, std::function<void(FakeFiles&)>> afterRead;
  int reads = 0;

  std::string read(const std::string& path) {
    const auto found = files.find(path);
    const bool fails = found == files.end() || unreadable.count(path) != 0;
    const std::string content = fails ? std::string() : found->second;
    if (const auto change = afterRead.find(++reads); change != afterRead.end()) {
      change->second(*this);
    }
    if (fails) throw std::runtime_error("cannot read " + path);
    return content;
  }

  StatusObservation::FileOperations operations() {
    return {[this](const std::string& path) { return files.count(path) != 0; },
            [this](const std::string& path) { return read(path); },
            [this](const std::string& path) { return decodeGeneration(read(path)); }};
  }
};

struct ReadCase {
  const char* name;
  std::map<std::string, std::string> files;
  std::map<int, std::function<void(FakeFiles&)>> afterRead;
  bool confirm;
  Kind expected;
};

TEST(ReadConsistent, ReportsEveryWayASnapshotCanBeInconsistent) {
  const std::map<std::string, std::string> settled = {{S, R"({"active":false})"},
                                                      {G, generation(6)}};
  const auto set = [](const std::string& path, std::string content) {
    return [path, content](FakeFiles& f) { f.files[path] = content; };
  };
  const auto erase = [](const std::string& path) {
    return [path](FakeFiles& f) { f.files.erase(path); };
  };
  const ReadCase cases[] = {
      {"neither file", {}, {}, false, Kind::missing},
      {"status without generation", {{S, "{}"}}, {}, false, Kind::generationMissing},
      {"generation without status", {{G, generation(6)}}, {}, false, Kind::missing},
      {"odd generation", {{S, "{}"}, {G, generation(5)}}, {}, false, Kind::busy},
      {"generation not JSON", {{S, "{}"}, {G, "garbage"}}, {}, false, Kind::malformedGeneration},
      {"settled", settled, {}, false, Kind::snapshot},
      {"sequence moved 6 to 8", settled, {{2, set(G, generation(8))}}, false, Kind::busy},
      {"new epoch", settled, {{2, set(G, generation(6, "E2"))}}, false, Kind::busy},
      {"generation vanished", settled, {{2, erase(G)}}, false, Kind::busy},
      {"generation garbled", settled, {{2, set(G, "{")}}, false, Kind::malformedGeneration},
      {"status vanished", settled, {{1, erase(S)}}, false, Kind::missing},
      {"status changed, confirmed", settled, {{2, set(S, "{ }")}}, true, Kind::snapshotChanged},
      {"status vanished on confirmation", settled, {{2, erase(S)}}, true, Kind::missing},
      {"settled, confirmed", settled, {}, true, Kind::snapshot},
  };
  for (const auto& testCase : cases) {
    FakeFiles fake{testCase.files, {}, testCase.afterRead};
    const auto observed =
        StatusObservation::readConsistent(S, G, testCase.confirm, fake.operations());
    EXPECT_EQ(observed.kind, testCase.expected) << testCase.name;
    EXPECT_EQ(observed.snapshot.has_value(), testCase.expected == Kind::snapshot) << testCase.name;
  }

  FakeFiles unreadable{settled, {S}, {}};
  EXPECT_EQ(StatusObservation::readConsistent(S, G, false, unreadable.operations()).kind,
            Kind::unreadable);
}

TEST(ReadConsistent, SnapshotCarriesTheFirstBytesAndGeneration) {
  // Without confirmation a later change of the status file is not looked for.
  FakeFiles fake{{{S, R"({"active":false})"}, {G, generation(6)}},
                 {},
                 {{2, [](FakeFiles& f) { f.files[S] = "{}"; }}}};
  const auto observed = StatusObservation::readConsistent(S, G, false, fake.operations());
  ASSERT_EQ(observed.kind, Kind::snapshot);
  EXPECT_EQ(*observed.snapshot, (GenerationConsistentSnapshot{{"E1", 6}, R"({"active":false})"}));
}

TEST(StatusGenerationFormat, HoldsTheFullUnsignedRange) {
  const StatusGeneration max{"3F2504E0-4F89-41D3-9A0C-0305E82C3301", UINT64_MAX};
  EXPECT_EQ(encodeGeneration(max),
            R"({"epoch":"3F2504E0-4F89-41D3-9A0C-0305E82C3301","sequence":18446744073709551615})");
  EXPECT_EQ(decodeGeneration(encodeGeneration(max)), max);
  for (const char* text :
       {R"({"epoch":"E","sequence":-2})", R"({"epoch":"E","sequence":6.0})",
        R"({"epoch":"E","sequence":18446744073709551616})", R"({"epoch":"E","sequence":"6"})",
        R"({"epoch":"E"})", R"({"epoch":7,"sequence":6})", R"({"sequence":6})", "6"}) {
    EXPECT_THROW(decodeGeneration(text), DecodingError) << text;
  }
}

TEST(PublicStatusClassification, ConfirmsOnlyCompleteRecordsAndKeepsTheirText) {
  using StateKind = PublicStatusState::Kind;
  const struct {
    std::string bytes;
    StateKind kind;
    Reason reason;
  } cases[] = {
      {R"({"active":false})", StateKind::confirmedIdle, {}},
      {"{\"active\" : false, \"note\":1}\n", StateKind::confirmedIdle, {}},
      {R"({"active":true,"expirationDate":788962200.5,"remainingSeconds":600})",
       StateKind::confirmedActive,
       {}},
      {R"({"active":true})", StateKind::unavailable, Reason::pending},
      {R"({"active":true,"expirationDate":1})", StateKind::unavailable, Reason::pending},
      {R"({"active":true,"remainingSeconds":600})", StateKind::unavailable, Reason::pending},
      // What the status decoder refuses is its own test; any refusal is "malformed".
      {"{\"active\":false,\"note\":\"\xff\"}", StateKind::unavailable, Reason::malformed},
      {"[false]", StateKind::unavailable, Reason::malformed},
  };
  for (const auto& c : cases) {
    const PublicStatusResult result = parsePublicStatus(c.bytes);
    EXPECT_EQ(result.state.kind, c.kind) << c.bytes;
    if (c.kind == StateKind::unavailable) {
      EXPECT_EQ(result, PublicStatusResult::unavailable(c.reason)) << c.bytes;
    } else {
      EXPECT_EQ(result.json, c.bytes);
      EXPECT_FALSE(result.isUnavailable());
    }
    EXPECT_EQ(renderStatus(c.bytes), result.json);
  }
  EXPECT_EQ(parsePublicStatus(std::nullopt), PublicStatusResult::unavailable(Reason::missing));
}

TEST(PublicStatusClassification, UnavailableTextsNameTheReason) {
  const std::pair<Reason, std::string> reasons[] = {{Reason::missing, "missing"},
                                                    {Reason::unreadable, "unreadable"},
                                                    {Reason::malformed, "malformed"},
                                                    {Reason::pending, "pending"},
                                                    {Reason::busy, "busy"}};
  for (const auto& [reason, name] : reasons) {
    const auto result = PublicStatusResult::unavailable(reason);
    EXPECT_EQ(result.json, "{\"unavailable\":\"" + name + "\"}");
    EXPECT_TRUE(result.isUnavailable());
  }
}

TEST(ReadPublicStatus, ReadsRealFiles) {
  TempDir dir;
  const auto read = [&](std::function<std::string(const std::string&)> readData = {}) {
    return readPublicStatus(dir.file("status.json"), dir.file("generation.json"), readData);
  };
  EXPECT_EQ(read(), PublicStatusResult::unavailable(Reason::missing));

  dir.write("status.json", R"({"active":false})");
  EXPECT_EQ(read(), PublicStatusResult::unavailable(Reason::busy));

  dir.write("generation.json", generation(8));
  const PublicStatusResult idle = read();
  EXPECT_EQ(idle.state.kind, PublicStatusState::Kind::confirmedIdle);
  EXPECT_EQ(idle.json, R"({"active":false})");

  // A reader that fails on a file that exists reports it as unreadable.
  const auto failing = [](const std::string&) -> std::string { throw std::runtime_error("EIO"); };
  EXPECT_EQ(read(failing), PublicStatusResult::unavailable(Reason::unreadable));

  dir.write("generation.json", "not json");
  EXPECT_EQ(read(), PublicStatusResult::unavailable(Reason::busy));
}

TEST(ReadPublicStatus, RefusesLinksAndSpecialFilesWithoutBlocking) {
  TempDir dir;
  dir.write("generation.json", generation(2));
  dir.write("real.json", R"({"active":false})");
  ASSERT_EQ(::symlink(dir.file("real.json").c_str(), dir.file("status.json").c_str()), 0);
  EXPECT_EQ(readPublicStatus(dir.file("status.json"), dir.file("generation.json")),
            PublicStatusResult::unavailable(Reason::unreadable));

  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_EQ(readPublicStatus(dir.file("fifo"), dir.file("generation.json")),
            PublicStatusResult::unavailable(Reason::unreadable));
}

TEST(StatusGenerationRead, SeparatesIoFailuresFromBadContent) {
  TempDir dir;
  EXPECT_THROW(StatusGeneration::read(dir.file("absent")), std::system_error);
  dir.write("g", "{\"epoch\":\"E\"}");
  EXPECT_THROW(StatusGeneration::read(dir.file("g")), DecodingError);
  dir.write("g", generation(UINT64_MAX - 1, "E"));
  EXPECT_EQ(StatusGeneration::read(dir.file("g")), (StatusGeneration{"E", UINT64_MAX - 1}));
}

}  // namespace
}  // namespace nubrik
