#pragma once

#include <QString>
#include <functional>
#include <map>

#include "app/gui_status.hpp"
#include "app/helper_setup.hpp"
#include "app/helper_setup_actions.hpp"
#include "app/ui/sheet.hpp"

class QLabel;

namespace nubrik {

// The helper-setup sheet: the setup state's status line and the buttons it allows, over the
// HelperSetup controller. The sheet decides nothing: helperSetupActions says what is offered,
// and every button calls the controller.
class SetupSheet final : public Sheet {
  Q_OBJECT

 public:
  // `setup` must outlive the sheet. `currentStatus` is the helper's status as the window knows it,
  // read whenever the sheet is refreshed to judge whether a repair is allowed; when empty, the
  // controller's own public status read is used.
  SetupSheet(QWidget* parent, HelperSetup& setup, std::function<GuiStatus()> currentStatus = {});

  QLabel* statusLine() const { return statusLine_; }
  // The button of an action; hidden while the state does not offer it.
  QPushButton* button(HelperSetupAction action) const { return buttons_.at(action); }
  QPushButton* closeButton() const { return close_; }

 public slots:
  // Shows the controller's state anew. The controller has one change callback, which its owner
  // holds: the owner calls this from it while the sheet is open.
  void refresh();

 private:
  void run(HelperSetupAction action);

  HelperSetup& setup_;
  std::function<GuiStatus()> currentStatus_;
  QLabel* statusLine_;
  std::map<HelperSetupAction, QPushButton*> buttons_;
  QPushButton* close_;
};

}  // namespace nubrik
