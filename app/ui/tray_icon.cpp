#include "app/ui/tray_icon.hpp"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QStringList>
#include <QSystemTrayIcon>

#include "app/ui/tray_icon_image.hpp"

namespace nubrik {

namespace {

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Menu texts treat '&' as a mnemonic marker; a status line is shown as it stands.
QString literalMenuText(const std::string& text) {
  return fromUtf8(text).replace(u'&', QStringLiteral("&&"));
}

QAction* inertLine(QMenu& menu, const char* objectName) {
  QAction* action = menu.addAction(QString());
  action->setObjectName(QString::fromLatin1(objectName));
  action->setEnabled(false);
  return action;
}

}  // namespace

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent),
      menu_(std::make_unique<QMenu>()),
      tray_(new QSystemTrayIcon(this)),
      statusLine_(inertLine(*menu_, "trayStatusLine")),
      detailLine_(inertLine(*menu_, "trayDetailLine")),
      checkForUpdates_(nullptr),
      quit_(nullptr) {
  menu_->setObjectName("trayMenu");
  menu_->setAccessibleName("Tamsel");
  statusLine_->setVisible(false);
  detailLine_->setVisible(false);
  menu_->addSeparator()->setObjectName("trayStatusSeparator");

  QAction* open = menu_->addAction("Open Tamsel");
  open->setObjectName("openAction");
  connect(open, &QAction::triggered, this, &TrayIcon::openRequested);

  checkForUpdates_ = menu_->addAction(QStringLiteral("Check for Updates\u2026"));
  checkForUpdates_->setObjectName("checkForUpdatesAction");
  checkForUpdates_->setEnabled(false);
  connect(checkForUpdates_, &QAction::triggered, this, &TrayIcon::checkForUpdatesRequested);

  QAction* help = menu_->addAction(QStringLiteral("Help\u2026"));
  help->setObjectName("helpAction");
  connect(help, &QAction::triggered, this, &TrayIcon::helpRequested);

  menu_->addSeparator()->setObjectName("trayQuitSeparator");
  quit_ = menu_->addAction("Quit Tamsel");
  quit_->setObjectName("quitAction");
  // The platform's Quit keys; a platform that binds none (a generic one) gets Ctrl+Q.
  const QKeySequence platformQuit(QKeySequence::Quit);
  quit_->setShortcut(platformQuit.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : platformQuit);
  connect(quit_, &QAction::triggered, this, &TrayIcon::quitRequested);

  tray_->setContextMenu(menu_.get());
  // Until the first status arrives the item shows the plain padlock, never an empty slot.
  tray_->setIcon(trayIconImage(QStringLiteral("lock"), QString()));
  tray_->setToolTip("Tamsel");
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger) emit openRequested();
  });
}

// The tray icon goes first: it refers to the menu.
TrayIcon::~TrayIcon() {
  delete tray_;
}

bool TrayIcon::isAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setPresentation(const MenuBarPresentation& presentation) {
  // The status is read every two seconds; the tray is told only of what changed.
  if (hasPresentation_ && presentation == shown_) return;
  const bool iconChanged = !hasPresentation_ || presentation.symbolName != shown_.symbolName ||
                           presentation.title != shown_.title;
  shown_ = presentation;
  hasPresentation_ = true;

  statusLine_->setText(literalMenuText(presentation.statusLine));
  statusLine_->setVisible(true);
  detailLine_->setText(literalMenuText(presentation.detailLine.value_or("")));
  detailLine_->setVisible(presentation.detailLine.has_value());

  QStringList tip = {fromUtf8(presentation.statusLine)};
  if (presentation.detailLine) tip.append(fromUtf8(*presentation.detailLine));
  tip.append(fromUtf8(presentation.accessibilityLabel));
  tray_->setToolTip(tip.join(u'\n'));

  if (iconChanged) {
    tray_->setIcon(trayIconImage(fromUtf8(presentation.symbolName),
                                 fromUtf8(presentation.title.value_or(""))));
  }
}

void TrayIcon::setCheckForUpdatesEnabled(bool enabled) {
  checkForUpdates_->setEnabled(enabled);
}

void TrayIcon::show() {
  tray_->show();
}

void TrayIcon::hide() {
  tray_->hide();
}

QIcon TrayIcon::icon() const {
  return tray_->icon();
}

QString TrayIcon::toolTip() const {
  return tray_->toolTip();
}

}  // namespace nubrik
