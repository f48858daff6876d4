#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/update_control.hpp"

namespace nubrik {

// What a check by hand tells the user.
struct UpdateCheckNotice {
  // True when the check was refused; `text` is then the refusal.
  bool refused = false;
  std::string text;

  friend bool operator==(const UpdateCheckNotice&, const UpdateCheckNotice&) = default;
};

inline constexpr std::string_view packageManagerUpdatesText =
    "Tamsel is updated by your system's package manager. Use it to check for a newer version.";

// The updater of a packaged install: the package manager replaces the app, so there is nothing to
// start, download or install here. A check by hand still asks the delegate first, so that it is
// refused during a session like any other check, and otherwise says where updates come from.
std::unique_ptr<Updater> packageManagerUpdater(UpdaterDelegate& delegate,
                                               std::function<void(UpdateCheckNotice)> tellUser);

}  // namespace nubrik
