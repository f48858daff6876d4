#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/gui_status.hpp"
#include "app/main_queue.hpp"
#include "core/public_status.hpp"

namespace nubrik {

// The pair of public files one status read looks at.
struct StatusFilePaths {
  std::string status;
  std::string generation;
  bool operator==(const StatusFilePaths&) const = default;
};

// The status file is the given one or the default one. The generation file is the given one; else
// the default generation file when the status file is the default one, and otherwise
// "generation.json" beside the status file, the way the helper lays out a directory of its own.
StatusFilePaths statusFilePaths(const std::optional<std::string>& statusPath,
                                const std::optional<std::string>& generationPath);

// The app's reading of one coarse observation: missing, unreadable and busy stay what they are;
// a snapshot that does not decode, or that claims a session without its expiration or remaining
// time (the helper's pending shape included), is malformed and never active. An early unlock is
// pending only for a confirmed active session.
GuiStatusDetail statusDetail(const StatusObservation& observation);

// One generation-consistent read of the public status. Never throws: every problem is an
// unavailable status with its reason.
GuiStatusDetail fetchStatusDetail(const std::optional<std::string>& statusPath = std::nullopt,
                                  const std::optional<std::string>& generationPath = std::nullopt);
GuiStatus fetchStatus(const std::optional<std::string>& statusPath = std::nullopt,
                      const std::optional<std::string>& generationPath = std::nullopt);

// Reads once, then re-reads up to `retries` times while the status is busy, calling `wait` before
// each re-read (empty: sleep settleWaitSeconds). Returns the latest reading, busy if it still is.
GuiStatusDetail settledStatusDetail(int retries, const std::function<void()>& wait,
                                    const std::function<GuiStatusDetail()>& fetch);

// What the monitor's readings cost at most while the helper is busy: two re-reads, 20 ms apart.
inline constexpr int refreshRetries = 2;
inline constexpr double settleWaitSeconds = 0.020;

// A settled read on a thread of its own, its result delivered on `mainQueue`. File reads never
// run on the main thread. The queue must outlive the read; the app's main queue lives as long as
// the process.
void refreshStatusDetail(const std::optional<std::string>& statusPath, MainQueue& mainQueue,
                         std::function<void(GuiStatusDetail)> completion);

// The explanation shown for an unavailable status. It takes whether the helper setup waits for
// approval rather than the whole setup state: that one case is all the text depends on, and it
// keeps the status layer free of the setup controller.
std::string_view unavailableDetailText(StatusUnavailableReason reason, bool approvalRequired);

}  // namespace nubrik
