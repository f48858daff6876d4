#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace nubrik::test {

// Renders the sheets that stand on their own controllers (setup, schedules, onboarding, help) and
// the tray, each in its states, through `save`.
void renderOtherSheets(const std::function<void(QWidget*, const QString&)>& save);

}  // namespace nubrik::test
