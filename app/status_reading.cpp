#include "app/status_reading.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "core/helper_status.hpp"
#include "core/state_paths.hpp"

namespace nubrik {

StatusFilePaths statusFilePaths(const std::optional<std::string>& statusPath,
                                const std::optional<std::string>& generationPath) {
  const StatePaths production = StatePaths::production();
  const std::string& defaultStatus = production.statusFile;
  StatusFilePaths paths{statusPath.value_or(defaultStatus), {}};
  if (generationPath) {
    paths.generation = *generationPath;
  } else if (paths.status == defaultStatus) {
    paths.generation = production.generationFile;
  } else {
    paths.generation =
        (std::filesystem::path(paths.status).parent_path() / "generation.json").string();
  }
  return paths;
}

GuiStatusDetail statusDetail(const StatusObservation& observation) {
  switch (observation.kind) {
    case StatusObservation::Kind::missing:
      return {GuiStatus::unavailable(StatusUnavailableReason::missing), false};
    case StatusObservation::Kind::unreadable:
      return {GuiStatus::unavailable(StatusUnavailableReason::unreadable), false};
    case StatusObservation::Kind::busy:
      return {GuiStatus::unavailable(StatusUnavailableReason::busy), false};
    case StatusObservation::Kind::snapshot:
      break;
  }
  HelperStatus record;
  try {
    record = decodeStatus(observation.bytes);
  } catch (...) {
    return {GuiStatus::unavailable(StatusUnavailableReason::malformed), false};
  }
  if (!record.active) return {GuiStatus::confirmedIdle(), false};
  // The app has no reason of its own for a change the helper has not finished: without both
  // details a claimed session is not one the app can count down.
  if (!record.expirationDate || !record.remainingSeconds) {
    return {GuiStatus::unavailable(StatusUnavailableReason::malformed), false};
  }
  return {GuiStatus::confirmedActive(*record.expirationDate, *record.remainingSeconds),
          record.earlyUnlockPending.value_or(false)};
}

GuiStatusDetail fetchStatusDetail(const std::optional<std::string>& statusPath,
                                  const std::optional<std::string>& generationPath) {
  const StatusFilePaths paths = statusFilePaths(statusPath, generationPath);
  try {
    return statusDetail(StatusObservation::read(paths.status, paths.generation));
  } catch (...) {
    // The read protocol reports every file problem itself; anything else (no memory) is a read
    // that did not happen, and the next poll tries again.
    return {GuiStatus::unavailable(StatusUnavailableReason::unreadable), false};
  }
}

GuiStatus fetchStatus(const std::optional<std::string>& statusPath,
                      const std::optional<std::string>& generationPath) {
  return fetchStatusDetail(statusPath, generationPath).status;
}

GuiStatusDetail settledStatusDetail(int retries, const std::function<void()>& wait,
                                    const std::function<GuiStatusDetail()>& fetch) {
  GuiStatusDetail detail = fetch();
  for (int attempt = 0; attempt < retries; ++attempt) {
    if (detail.status != GuiStatus::unavailable(StatusUnavailableReason::busy)) break;
    if (wait) {
      wait();
    } else {
      std::this_thread::sleep_for(std::chrono::duration<double>(settleWaitSeconds));
    }
    detail = fetch();
  }
  return detail;
}

void refreshStatusDetail(const std::optional<std::string>& statusPath, MainQueue& mainQueue,
                         std::function<void(GuiStatusDetail)> completion) {
  auto shared = std::make_shared<std::function<void(GuiStatusDetail)>>(std::move(completion));
  auto read = [statusPath, queue = &mainQueue, shared] {
    GuiStatusDetail detail = settledStatusDetail(
        refreshRetries, {}, [&statusPath] { return fetchStatusDetail(statusPath); });
    queue->post([shared, detail = std::move(detail)] { (*shared)(detail); });
  };
  try {
    std::thread(read).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the reading still arrives, late rather than never.
    read();
  }
}

std::string_view unavailableDetailText(StatusUnavailableReason reason, bool approvalRequired) {
  if (approvalRequired) return helperApprovalMessage;
  switch (reason) {
    case StatusUnavailableReason::missing:
      return "The helper status file is missing. Make sure Tamsel's helper is installed, then try "
             "again.";
    case StatusUnavailableReason::unreadable:
      return "The helper status file could not be read. Try again.";
    case StatusUnavailableReason::malformed:
      return "The helper status did not have the expected format. Try again.";
    case StatusUnavailableReason::busy:
      return "The helper is changing state. Try again in a moment.";
  }
  return "The helper status file could not be read. Try again.";
}

}  // namespace nubrik
