#pragma once

#include "app/gui_status.hpp"
#include "core/date.hpp"

namespace nubrik {

// The early-unlock control on the active screen.
enum class EarlyUnlockControl { hidden, request, cancelRequest };

// `helperReady` is true when the helper setup state is installedReady. A request is offered only
// while more than the cooldown is left, since otherwise the session ends before a cooldown could.
EarlyUnlockControl earlyUnlockControl(const GuiStatus& status, bool pending, bool helperReady,
                                      Date now);

// A session may be started only while the helper is confirmed idle and its setup is
// installedReady (`helperReady`).
bool sessionStartIsEnabled(const GuiStatus& status, bool helperReady);

}  // namespace nubrik
