#pragma once

#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/schedule_editing.hpp"
#include "app/ui/schedule_edit_form.hpp"
#include "app/ui/sheet.hpp"

class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace nubrik {

class ScheduleEditor;
struct ScheduleEditorState;
class ScheduleRow;

// The schedules sheet: what the schedule editor holds, shown as it changes. While the list loads
// it shows progress; a failed load offers "Retry"; then the list with a row per schedule, "Add
// Schedule", and "Save" for the whole list. The edit form and the question before a save that
// takes the computer offline at once open over the sheet. The sheet accepts (closes) once the
// helper has taken the list.
class ScheduleEditorSheet final : public Sheet {
  Q_OBJECT

 public:
  // The editor's first load starts when the sheet is first shown. With `editingAvailable` false
  // (the helper is not installed and ready) the sheet shows a note instead and loads nothing.
  ScheduleEditorSheet(QWidget* parent, std::unique_ptr<ScheduleEditor> editor,
                      bool editingAvailable = true);
  ~ScheduleEditorSheet() override;

  ScheduleEditor& editor() const { return *editor_; }
  // The rows in list order.
  std::vector<ScheduleRow*> rows() const { return rows_; }
  // The form over the open draft; none while no draft is open.
  ScheduleEditForm* editForm() const { return form_; }
  // The question before a save that starts a session now; none while it is not asked.
  Sheet* startWarning() const { return warning_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void refresh();
  void showList(const ScheduleEditorState& state);
  void showRows(const ScheduleEditorState& state);
  void showForm(const ScheduleEditorState& state);
  void showStartWarning(bool asked);
  void keepInView(const std::string& id);
  void orderTabs();

  std::unique_ptr<ScheduleEditor> editor_;
  bool editingAvailable_;

  QLabel* notReadyNote_;
  QProgressBar* loading_;
  QLabel* loadFailed_;
  QWidget* listPage_;
  QWidget* empty_;
  QScrollArea* list_;
  QVBoxLayout* rowsLayout_;
  QPushButton* add_;
  QLabel* saveMessage_;

  QPushButton* close_;
  QPushButton* cancel_;
  QPushButton* retry_;
  QPushButton* save_;

  std::vector<ScheduleRow*> rows_;
  std::vector<std::string> rowIDs_;
  QPointer<ScheduleEditForm> form_;
  QPointer<Sheet> warning_;
};

}  // namespace nubrik
