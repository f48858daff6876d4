#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/date.hpp"
#include "core/helper_status.hpp"
#include "core/session.hpp"
#include "core/state_paths.hpp"
#include "helper/log/log.hpp"
#include "helper/store/session_load_result.hpp"
#include "helper/store/status_snapshot.hpp"

namespace nubrik {

// The session file exists but cannot be read at this moment, for a reason that passes by itself
// (and has not lasted long): the load neither trusts nor condemns it; the caller retries later.
class SessionUnreadableNow : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file operations a load needs, so that the corruption handling runs against memory.
struct SessionFileSystem {
  std::function<bool()> markerExists;
  std::function<RecoveryPendingMarker()> readMarker;  // throws
  std::function<bool()> sessionExists;
  std::function<std::string()> readSession;  // throws; SessionUnreadableNow passes through
  std::function<void(const RecoveryPendingMarker&)> writeMarker;  // throws
  std::function<std::optional<std::string>()> quarantineSession;
  std::function<void(const std::string&)> log;
  std::function<Date()> now;
};

// Decides what a load of the stored state means.
class SessionLoader {
 public:
  static SessionLoadResult load(const SessionFileSystem& fs);
  static SessionLoadResult recordCorruption(CorruptReason reason, const SessionFileSystem& fs);
};

// The helper's only access to its authoritative state files, bound to one set of paths and to
// the transaction it runs in: every change it makes marks the transaction's status as no longer
// final, and a status that lands marks it final again. Takes no lock itself.
class SessionStore {
 public:
  SessionStore(StatePaths paths, StatusSnapshot& snapshot, Clock clock, LogOperation log);

  const StatePaths& paths() const { return paths_; }

  SessionFileSystem fileSystem();
  SessionLoadResult loadSession();
  // The session of a valid load, else none; has the side effects of loadSession().
  std::optional<OfflineSession> load();

  // Throw std::system_error on failure.
  void save(const OfflineSession& session);
  void deleteSession();
  // Keeps any remaining session file aside as evidence, then clears the marker.
  void finishRecovery();
  void clearRecoveryPending();
  void writePendingMarker(const RecoveryPendingMarker& marker);

  // Moves the session file aside as the first free "session.corrupt.<unix seconds>[-n]"; the new
  // path, or none.
  std::optional<std::string> quarantine(const std::string& sessionPath);

  // Status publication never fails visibly; a failed one leaves the generation unfinished.
  void writeStatus(const std::optional<OfflineSession>& session);
  void writeStatus(const HelperStatus& status);
  void writeStatusIdle();
  void writeStatusPending();

 private:
  void ensureSupportDirectory() const;
  std::string secondsStamp() const;

  StatePaths paths_;
  StatusSnapshot& snapshot_;
  Clock clock_;
  LogOperation log_;
};

}  // namespace nubrik
