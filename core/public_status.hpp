#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace nubrik {

// The generation file's record: odd sequence while a transaction changes state, even once
// the transaction has published the status file.
struct StatusGeneration {
  std::string epoch;
  std::uint64_t sequence = 0;
  bool operator==(const StatusGeneration&) const = default;

  // Reads and strictly decodes the file; throws on any failure.
  static StatusGeneration read(const std::string& path);
};

std::string encodeGeneration(const StatusGeneration& generation);
// Strict decode; throws DecodingError.
StatusGeneration decodeGeneration(std::string_view bytes);

struct GenerationConsistentSnapshot {
  StatusGeneration generation;
  std::string data;
  bool operator==(const GenerationConsistentSnapshot&) const = default;
};

// The detailed outcome of one read attempt.
struct GenerationConsistentStatusObservation {
  enum class Kind {
    snapshot,
    missing,
    unreadable,
    busy,
    generationMissing,
    malformedGeneration,
    snapshotChanged,
  };
  Kind kind = Kind::missing;
  std::optional<GenerationConsistentSnapshot> snapshot;  // set for Kind::snapshot only
  bool operator==(const GenerationConsistentStatusObservation&) const = default;
};

// The coarse outcome used by readers.
struct StatusObservation {
  enum class Kind { snapshot, missing, unreadable, busy };
  Kind kind = Kind::missing;
  std::string bytes;  // the status file's bytes for Kind::snapshot
  bool operator==(const StatusObservation&) const = default;

  struct FileOperations {
    std::function<bool(const std::string& path)> fileExists;
    // Throws when the file cannot be read.
    std::function<std::string(const std::string& path)> readData;
    std::function<StatusGeneration(const std::string& path)> readGeneration;
    // Existence test, whole-file read and StatusGeneration::read.
    static FileOperations system();
  };

  // The read protocol. Never waits or loops.
  static GenerationConsistentStatusObservation readConsistent(
      const std::string& snapshotPath, const std::string& generationPath, bool confirmSnapshot,
      const FileOperations& files = FileOperations::system());
  // readConsistent without confirmation, mapped to the coarse outcome.
  static StatusObservation read(const std::string& snapshotPath, const std::string& generationPath,
                                std::function<std::string(const std::string&)> readData = {});
  static StatusObservation coarse(const GenerationConsistentStatusObservation& detailed);
};

enum class PublicStatusUnavailableReason { missing, unreadable, malformed, pending, busy };
std::string_view rawString(PublicStatusUnavailableReason reason);

struct PublicStatusState {
  enum class Kind { unavailable, confirmedIdle, confirmedActive };
  Kind kind = Kind::unavailable;
  PublicStatusUnavailableReason reason = PublicStatusUnavailableReason::missing;
  bool operator==(const PublicStatusState&) const = default;
};

struct PublicStatusResult {
  PublicStatusState state;
  std::string json;  // the text to show for the state

  static constexpr int unavailableExitCode = 12;

  bool isUnavailable() const { return state.kind == PublicStatusState::Kind::unavailable; }
  static PublicStatusResult unavailable(PublicStatusUnavailableReason reason);
  bool operator==(const PublicStatusResult&) const = default;
};

// Classifies the status file's bytes (none: missing).
PublicStatusResult parsePublicStatus(const std::optional<std::string>& data);

// Reads and classifies the public status. An empty path means the production file.
PublicStatusResult readPublicStatus(const std::string& statusPath = {},
                                    const std::string& generationPath = {},
                                    std::function<std::string(const std::string&)> readData = {});

// The json of parsePublicStatus for the bytes.
std::string renderStatus(std::string_view snapshotData);

}  // namespace nubrik
