#pragma once

#include <QString>

#include "app/ui/sheet.hpp"

class QLabel;
class QTextBrowser;

namespace nubrik {

// The help guide a program in `programDirectory` shows: the installed RECOVERY.md, or, for a
// program in the build tree, the one in the source tree it was built from. Empty when neither
// exists.
QString helpGuidePath(const QString& programDirectory);
// The guide this program shows.
QString installedHelpGuidePath();

// The version of this build of Tamsel, as the help sheet shows it.
QString tamselVersion();

// The help sheet: the help guide (or, when it cannot be read, where to write instead), the app's
// version, the support address and "Close".
class HelpSheet final : public Sheet {
  Q_OBJECT

 public:
  // Shows the guide at `guidePath`; an empty path shows the fallback text.
  explicit HelpSheet(QWidget* parent, const QString& guidePath = installedHelpGuidePath(),
                     const QString& version = tamselVersion());

  QTextBrowser* guide() const { return guide_; }
  // True when the guide could not be read and the fallback text is shown.
  bool showsFallback() const { return showsFallback_; }

 private:
  QTextBrowser* guide_;
  bool showsFallback_ = false;
};

}  // namespace nubrik
