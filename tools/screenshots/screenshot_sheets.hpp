#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace nubrik::test {

// Shows a widget and writes it to a PNG named after `name`. The widget must stay alive until
// the call returns; a dialog is written on its own, without the window beneath it.
using SaveScreenshot = std::function<void(QWidget*, const QString&)>;

// Renders the sheets that stand on their own controllers (setup, schedules, onboarding, help,
// updates) and the tray, each in its states, through `save`.
void renderOtherSheets(const SaveScreenshot& save);

// The parts of renderOtherSheets, one file each.
void renderSetupSheets(const SaveScreenshot& save);
void renderScheduleSheets(const SaveScreenshot& save);
void renderTray(const SaveScreenshot& save);
void renderUpdateBoxes(const SaveScreenshot& save);

}  // namespace nubrik::test
