#include "helper/store/schedule_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>

#include "core/file_read.hpp"
#include "core/posix_file.hpp"
#include "core/uuid.hpp"

namespace nubrik {

namespace {

constexpr const char* quarantinePrefix = "schedules.corrupt.";
// Twenty schedules and their started windows take a few kilobytes; a file far beyond that is not
// a schedules file.
constexpr size_t maximumScheduleFileBytes = 1024 * 1024;

const char* kindName(ScheduleStoreError::Kind kind) {
  switch (kind) {
    case ScheduleStoreError::Kind::invalidSchedule:
      return "invalidSchedule";
    case ScheduleStoreError::Kind::duplicateID:
      return "duplicateID";
    case ScheduleStoreError::Kind::tooManySchedules:
      return "tooManySchedules";
  }
  return "invalidSchedule";
}

void validate(const std::vector<RecurringSchedule>& schedules) {
  std::set<std::string> seen;
  for (const RecurringSchedule& schedule : schedules) {
    if (!schedule.isValid()) throw ScheduleStoreError(ScheduleStoreError::Kind::invalidSchedule);
    if (!seen.insert(schedule.id).second) {
      throw ScheduleStoreError(ScheduleStoreError::Kind::duplicateID);
    }
  }
  if (schedules.size() > ScheduleStore::maxSchedules) {
    throw ScheduleStoreError(ScheduleStoreError::Kind::tooManySchedules);
  }
}

// Writes the whole file under a fresh name in the same directory and renames it into place, so
// that the schedules file is always either the old content or the new. The temporary file is
// created exclusively (never through a link somebody left there) and is private before it holds
// a single byte.
void replaceFile(std::string_view bytes, const std::string& directory, const std::string& path) {
  const std::string temporary = joinPath(directory, ".schedules-" + newUUIDString() + ".tmp");
  UniqueFd fd = openNoFollow(AT_FDCWD, temporary, O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (!fd.valid()) throw systemError(errno, "create " + temporary);
  replaceFromTemporary({std::move(fd), temporary}, path, bytes, 0600);
}

}  // namespace

ScheduleStoreError::ScheduleStoreError(Kind kind)
    : std::runtime_error(kindName(kind)), kind_(kind) {}

ScheduleStore::ScheduleStore(StatePaths paths, Clock clock, LogOperation log)
    : paths_(std::move(paths)), clock_(std::move(clock)), log_(std::move(log)) {}

// Keeps the undecodable bytes as evidence under the first free "schedules.corrupt.<stamp>[-n]";
// an earlier piece of evidence is never overwritten.
void ScheduleStore::quarantine() const {
  const std::string& path = paths_.schedulesFile;
  const auto stamp =
      std::chrono::duration_cast<std::chrono::seconds>(clock_().time_since_epoch()).count();
  try {
    const std::string target =
        moveAside(path, parentDirectory(path), quarantinePrefix + std::to_string(stamp));
    log_("schedules: corrupt file quarantined as " + target.substr(target.rfind('/') + 1));
  } catch (const std::exception& error) {
    log_(std::string("schedules: could not quarantine corrupt file: ") + error.what());
  }
}

// Keeps the file's order; the first occurrence of an id wins and the list is cut at the limit.
ScheduleState ScheduleStore::cleaned(ScheduleState state) const {
  ScheduleState result;
  std::set<std::string> kept;
  for (RecurringSchedule& schedule : state.schedules) {
    if (!schedule.isValid()) {
      log_("schedules: dropping invalid schedule '" + schedule.id + "'");
      continue;
    }
    if (kept.contains(schedule.id)) {
      log_("schedules: dropping duplicate schedule id '" + schedule.id + "'");
      continue;
    }
    if (result.schedules.size() >= maxSchedules) break;
    kept.insert(schedule.id);
    result.schedules.push_back(std::move(schedule));
  }
  for (const auto& [id, windowStart] : state.firedWindows) {
    if (kept.contains(id)) result.firedWindows.emplace(id, windowStart);
  }
  return result;
}

ScheduleState ScheduleStore::load() const {
  const std::string& path = paths_.schedulesFile;
  if (!pathExists(path)) return {};

  std::string bytes;
  try {
    bytes = readWholeFile(path, maximumScheduleFileBytes);
  } catch (const std::system_error& error) {
    // A file beyond any list of schedules is not one: it is kept aside as evidence like any
    // other undecodable file, rather than read into memory.
    if (error.code().value() == EFBIG) {
      log_(std::string("schedules: undecodable file (") + error.what() + "); quarantining");
      quarantine();
      return {};
    }
    log_(std::string("schedules: unreadable file (") + error.what() + "); using empty schedules");
    return {};
  } catch (const std::exception& error) {
    log_(std::string("schedules: unreadable file (") + error.what() + "); using empty schedules");
    return {};
  }

  ScheduleState state;
  try {
    state = decodeScheduleState(bytes);
  } catch (const std::exception& error) {
    log_(std::string("schedules: undecodable file (") + error.what() + "); quarantining");
    quarantine();
    return {};
  }
  return cleaned(std::move(state));
}

void ScheduleStore::save(const ScheduleState& state) const {
  validate(state.schedules);
  const std::string bytes = encodeScheduleState(state);
  const std::string& directory = paths_.supportDirectory;
  if (const int error = makeDirectories(directory); error != 0) {
    throw systemError(error, "create directory " + directory);
  }
  replaceFile(bytes, directory, paths_.schedulesFile);
}

void ScheduleStore::recordFired(const std::string& id, Date windowStart) const {
  ScheduleState state = load();
  const bool known =
      std::any_of(state.schedules.begin(), state.schedules.end(),
                  [&](const RecurringSchedule& schedule) { return schedule.id == id; });
  if (!known) throw ScheduleStoreError(ScheduleStoreError::Kind::invalidSchedule);
  state.firedWindows[id] = windowStart;
  save(state);
}

}  // namespace nubrik
