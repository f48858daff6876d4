#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/date.hpp"
#include "core/helper_status.hpp"
#include "core/session.hpp"
#include "helper/store/session_load_result.hpp"

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

// The helper's only access to its authoritative state files. Every operation runs inside a
// helper transaction; none takes a lock itself.
class SessionStore {
 public:
  static std::string sessionFileURL();
  static std::string pendingMarkerURL();
  static std::string stateLockURL();
  static std::string statusURL();
  static std::string generationURL();

  static SessionFileSystem productionFileSystem();
  static SessionLoadResult loadSession();
  // The session of a valid load, else none; has the side effects of loadSession().
  static std::optional<OfflineSession> load();

  // Throw std::system_error on failure.
  static void save(const OfflineSession& session);
  static void deleteSession();
  // Keeps any remaining session file aside as evidence, then clears the marker.
  static void finishRecovery();
  static void clearRecoveryPending();
  static void writePendingMarker(const RecoveryPendingMarker& marker);

  // Moves the session file aside as the first free "session.corrupt.<unix seconds>[-n]"; the new
  // path, or none.
  static std::optional<std::string> quarantine(const std::string& sessionPath);

  static HelperStatus status(const std::optional<OfflineSession>& session, Date now);
  // Status publication never fails visibly; a failed one leaves the generation unfinished.
  static void writeStatus(const std::optional<OfflineSession>& session);
  static void writeStatus(const HelperStatus& status);
  static void writeStatusIdle();
  static void writeStatusPending();
};

}  // namespace nubrik
