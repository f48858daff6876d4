#include "core/public_status.hpp"

#include "core/file_read.hpp"
#include "core/helper_status.hpp"
#include "core/json_fields.hpp"
#include "core/state_paths.hpp"

namespace nubrik {

namespace {

using Observation = GenerationConsistentStatusObservation;

Observation outcome(Observation::Kind kind) {
  return Observation{kind, std::nullopt};
}

// A failed read of a file that still exists is unreadable; one that vanished is missing.
Observation failedStatusRead(const StatusObservation::FileOperations& files,
                             const std::string& snapshotPath) {
  return outcome(files.fileExists(snapshotPath) ? Observation::Kind::unreadable
                                                : Observation::Kind::missing);
}

}  // namespace

// MARK: StatusGeneration

namespace {

// Both public files hold a few dozen bytes; anything far larger is not theirs and is not read.
constexpr size_t maximumPublicFileBytes = 64 * 1024;

std::string readPublicFile(const std::string& path) {
  return readWholeFile(path, maximumPublicFileBytes);
}

}  // namespace

StatusGeneration StatusGeneration::read(const std::string& path) {
  return decodeGeneration(readPublicFile(path));
}

std::string encodeGeneration(const StatusGeneration& generation) {
  json::OrderedValue object = json::OrderedValue::object();
  object["epoch"] = generation.epoch;
  object["sequence"] = generation.sequence;
  return json::dumpCompact(object);
}

StatusGeneration decodeGeneration(std::string_view bytes) {
  const json::Value object = json::parseObject(bytes);
  StatusGeneration generation;
  generation.epoch = json::requiredString(object, "epoch");
  generation.sequence = json::requiredUInt64(object, "sequence");
  return generation;
}

// MARK: StatusObservation

StatusObservation::FileOperations StatusObservation::FileOperations::system() {
  return FileOperations{pathExists, readPublicFile, StatusGeneration::read};
}

GenerationConsistentStatusObservation StatusObservation::readConsistent(
    const std::string& snapshotPath, const std::string& generationPath, bool confirmSnapshot,
    const FileOperations& files) {
  // Readers take no lock: the writer moves the generation to an odd number before it touches the
  // status file and to the next even number after, so a status file read between two equal even
  // generations belongs to one finished change. Every other interleaving reports why not.
  if (!files.fileExists(generationPath)) {
    return outcome(files.fileExists(snapshotPath) ? Observation::Kind::generationMissing
                                                  : Observation::Kind::missing);
  }

  StatusGeneration first;
  try {
    first = files.readGeneration(generationPath);
  } catch (...) {
    return outcome(Observation::Kind::malformedGeneration);
  }
  if (first.sequence % 2 != 0) return outcome(Observation::Kind::busy);

  std::string data;
  try {
    data = files.readData(snapshotPath);
  } catch (...) {
    return failedStatusRead(files, snapshotPath);
  }

  if (confirmSnapshot) {
    std::string again;
    try {
      again = files.readData(snapshotPath);
    } catch (...) {
      return failedStatusRead(files, snapshotPath);
    }
    if (again != data) return outcome(Observation::Kind::snapshotChanged);
  }

  StatusGeneration second;
  try {
    second = files.readGeneration(generationPath);
  } catch (...) {
    // A generation that vanished is being replaced by a writer right now.
    return outcome(files.fileExists(generationPath) ? Observation::Kind::malformedGeneration
                                                    : Observation::Kind::busy);
  }
  if (second != first) return outcome(Observation::Kind::busy);

  return Observation{Observation::Kind::snapshot,
                     GenerationConsistentSnapshot{std::move(first), std::move(data)}};
}

StatusObservation StatusObservation::read(const std::string& snapshotPath,
                                          const std::string& generationPath,
                                          std::function<std::string(const std::string&)> readData) {
  FileOperations files = FileOperations::system();
  if (readData) files.readData = std::move(readData);
  return coarse(readConsistent(snapshotPath, generationPath, false, files));
}

StatusObservation StatusObservation::coarse(const GenerationConsistentStatusObservation& detailed) {
  switch (detailed.kind) {
    case Observation::Kind::snapshot:
      if (detailed.snapshot) return StatusObservation{Kind::snapshot, detailed.snapshot->data};
      return StatusObservation{Kind::busy, {}};
    case Observation::Kind::missing:
      return StatusObservation{Kind::missing, {}};
    case Observation::Kind::unreadable:
      return StatusObservation{Kind::unreadable, {}};
    case Observation::Kind::busy:
    case Observation::Kind::generationMissing:
    case Observation::Kind::malformedGeneration:
    case Observation::Kind::snapshotChanged:
      break;
  }
  return StatusObservation{Kind::busy, {}};
}

// MARK: Public status

std::string_view rawString(PublicStatusUnavailableReason reason) {
  switch (reason) {
    case PublicStatusUnavailableReason::missing:
      return "missing";
    case PublicStatusUnavailableReason::unreadable:
      return "unreadable";
    case PublicStatusUnavailableReason::malformed:
      return "malformed";
    case PublicStatusUnavailableReason::pending:
      return "pending";
    case PublicStatusUnavailableReason::busy:
      return "busy";
  }
  return "missing";
}

PublicStatusResult PublicStatusResult::unavailable(PublicStatusUnavailableReason reason) {
  std::string json = "{\"unavailable\":\"";
  json += rawString(reason);
  json += "\"}";
  return PublicStatusResult{PublicStatusState{PublicStatusState::Kind::unavailable, reason},
                            std::move(json)};
}

PublicStatusResult parsePublicStatus(const std::optional<std::string>& data) {
  if (!data) return PublicStatusResult::unavailable(PublicStatusUnavailableReason::missing);
  HelperStatus status;
  try {
    // The decoder refuses bytes that are not UTF-8 along with every other malformation.
    status = decodeStatus(*data);
  } catch (const DecodingError&) {
    return PublicStatusResult::unavailable(PublicStatusUnavailableReason::malformed);
  }
  // A confirmed state shows exactly what the daemon wrote.
  if (!status.active) return PublicStatusResult{{PublicStatusState::Kind::confirmedIdle}, *data};
  if (status.expirationDate && status.remainingSeconds) {
    return PublicStatusResult{{PublicStatusState::Kind::confirmedActive}, *data};
  }
  return PublicStatusResult::unavailable(PublicStatusUnavailableReason::pending);
}

PublicStatusResult readPublicStatus(const std::string& statusPath,
                                    const std::string& generationPath,
                                    std::function<std::string(const std::string&)> readData) {
  const StatePaths production = StatePaths::production();
  const std::string& snapshot = statusPath.empty() ? production.statusFile : statusPath;
  const std::string& generation =
      generationPath.empty() ? production.generationFile : generationPath;
  const StatusObservation observation =
      StatusObservation::read(snapshot, generation, std::move(readData));
  switch (observation.kind) {
    case StatusObservation::Kind::snapshot:
      return parsePublicStatus(observation.bytes);
    case StatusObservation::Kind::missing:
      return PublicStatusResult::unavailable(PublicStatusUnavailableReason::missing);
    case StatusObservation::Kind::unreadable:
      return PublicStatusResult::unavailable(PublicStatusUnavailableReason::unreadable);
    case StatusObservation::Kind::busy:
      break;
  }
  return PublicStatusResult::unavailable(PublicStatusUnavailableReason::busy);
}

std::string renderStatus(std::string_view snapshotData) {
  return parsePublicStatus(std::string(snapshotData)).json;
}

}  // namespace nubrik
