#include "app/ui/idle_screen.hpp"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/duration.hpp"
#include "app/main_view.hpp"
#include "app/ui/screen_parts.hpp"
#include "app/ui/symbol_icons.hpp"

namespace nubrik {

namespace {

constexpr int stepperSize = 44;

QString qText(const std::string& text) {
  return QString::fromStdString(text);
}

QPushButton* makeStepper(const QString& symbolName, const QString& accessibleName,
                         QWidget* parent) {
  auto* button = makeButton(QString(), parent, accessibleName);
  button->setIcon(symbolIcon(symbolName));
  button->setIconSize({20, 20});
  button->setFixedSize(stepperSize, stepperSize);
  button->setToolTip(accessibleName);
  // Round: a circle in the button's own colours.
  button->setStyleSheet(QString("QPushButton { border-radius: %1px; border: 1px solid palette(mid);"
                                " background: palette(button); }"
                                "QPushButton:pressed { background: palette(midlight); }"
                                "QPushButton:focus { border: 2px solid palette(highlight); }")
                            .arg(stepperSize / 2));
  // Holding the button repeats it, which the stepper speeds up.
  button->setAutoRepeat(true);
  button->setAutoRepeatDelay(400);
  button->setAutoRepeatInterval(120);
  return button;
}

QString presetTitle(int minutes) {
  return minutes < 60 ? QString("%1 min").arg(minutes) : QString("%1 hr").arg(minutes / 60);
}

}  // namespace

IdleScreen::IdleScreen(MainView& view, TimeString timeString, QWidget* parent)
    : QWidget(parent), view_(view), timeString_(std::move(timeString)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(28, 24, 28, 20);
  layout->setSpacing(14);
  layout->addStretch(1);
  layout->addWidget(makeSymbolLabel("lock.open.fill", 44, this));
  heading_ = makeTextLabel("Go offline for", 1.3, true, this);
  heading_->setObjectName("idleHeading");
  layout->addWidget(heading_);
  layout->addWidget(makeDurationRow());
  caption_ = makeTextLabel(QString(), 1.0, false, this);
  caption_->setObjectName("durationCaption");
  layout->addWidget(caption_);
  layout->addWidget(makePresetRow());
  layout->addSpacing(6);
  goOffline_ = makePrimaryButton("Go Offline", this);
  goOffline_->setObjectName("goOfflineButton");
  connect(goOffline_, &QPushButton::clicked, this, [this] {
    if (view_.goOfflineEnabled()) emit goOfflineRequested();
  });
  layout->addWidget(goOffline_, 0, Qt::AlignHCenter);
  layout->addStretch(1);
  layout->addWidget(makeFooter());
  render();
}

QWidget* IdleScreen::makeDurationRow() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(18);

  auto* minus = makeStepper("minus", "Decrease duration", row);
  minus->setObjectName("decreaseButton");
  connect(minus, &QPushButton::clicked, this, [this] { view_.stepDuration(false); });
  auto* plus = makeStepper("plus", "Increase duration", row);
  plus->setObjectName("increaseButton");
  connect(plus, &QPushButton::clicked, this, [this] { view_.stepDuration(true); });

  readoutStack_ = new QStackedWidget(row);
  readout_ = new QPushButton(readoutStack_);
  readout_->setObjectName("durationReadout");
  readout_->setFlat(true);
  readout_->setToolTip("Click to type an exact time");
  readout_->setCursor(Qt::IBeamCursor);
  QFont big = readout_->font();
  big.setPointSizeF(big.pointSizeF() * 2.4);
  big.setWeight(QFont::DemiBold);
  readout_->setFont(big);
  connect(readout_, &QPushButton::clicked, this, [this] { view_.beginTypedEntry(); });

  entry_ = new QLineEdit(readoutStack_);
  entry_->setObjectName("durationEntry");
  entry_->setToolTip("Type an exact duration");
  entry_->setAccessibleName("Type an exact duration");
  entry_->setAlignment(Qt::AlignCenter);
  entry_->setFont(big);
  entry_->setPlaceholderText("1:15");
  connect(entry_, &QLineEdit::textEdited, this,
          [this](const QString& text) { view_.setTypedText(text.toStdString()); });
  connect(entry_, &QLineEdit::returnPressed, this, [this] { view_.commitTypedEntry(); });
  entry_->installEventFilter(this);
  readoutStack_->addWidget(readout_);
  readoutStack_->addWidget(entry_);
  readoutStack_->setFixedWidth(230);

  layout->addStretch(1);
  layout->addWidget(minus);
  layout->addWidget(readoutStack_);
  layout->addWidget(plus);
  layout->addStretch(1);
  return row;
}

QWidget* IdleScreen::makePresetRow() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addStretch(1);
  const QString chipStyle =
      "QPushButton { border-radius: 12px; padding: 4px 12px; border: 1px solid palette(mid); }"
      "QPushButton:checked { background: palette(highlight); color: palette(highlighted-text);"
      " border-color: palette(highlight); }"
      "QPushButton:focus { border: 2px solid palette(highlight); }";
  for (const int minutes : MainView::presetMinutes) {
    auto* chip = makeButton(presetTitle(minutes), row);
    chip->setObjectName(QString("preset%1").arg(minutes));
    chip->setCheckable(true);
    chip->setStyleSheet(chipStyle);
    connect(chip, &QPushButton::clicked, this, [this, minutes] { view_.selectPreset(minutes); });
    presets_.emplace_back(minutes, chip);
    layout->addWidget(chip);
  }
  custom_ = makeButton("Custom", row);
  custom_->setObjectName("presetCustom");
  custom_->setCheckable(true);
  custom_->setStyleSheet(chipStyle);
  connect(custom_, &QPushButton::clicked, this, [this] { view_.beginTypedEntry(); });
  layout->addWidget(custom_);
  layout->addStretch(1);
  return row;
}

QWidget* IdleScreen::makeFooter() {
  auto* footer = new QWidget(this);
  auto* layout = new QVBoxLayout(footer);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  auto* top = new QHBoxLayout;
  auto* howItWorks = makeButton("How it works", footer);
  howItWorks->setObjectName("howItWorksButton");
  howItWorks->setFlat(true);
  connect(howItWorks, &QPushButton::clicked, this, &IdleScreen::howItWorksRequested);
  auto* schedules = makeButton("Schedules", footer);
  schedules->setObjectName("schedulesButton");
  schedules->setFlat(true);
  schedules->setIcon(symbolIcon(QString("calendar")));
  connect(schedules, &QPushButton::clicked, this, &IdleScreen::schedulesRequested);
  top->addStretch(1);
  top->addWidget(howItWorks);
  top->addWidget(schedules);
  top->addStretch(1);
  layout->addLayout(top);
  auto* setup = makeButton("Helper Setup — update or check readiness", footer);
  setup->setObjectName("setupButton");
  setup->setFlat(true);
  setup->setIcon(symbolIcon(QString("lock.shield.fill")));
  connect(setup, &QPushButton::clicked, this, &IdleScreen::setupRequested);
  layout->addWidget(setup, 0, Qt::AlignHCenter);
  return footer;
}

bool IdleScreen::eventFilter(QObject* watched, QEvent* event) {
  // Escape leaves typing and keeps the duration that was selected before.
  if (watched == entry_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    view_.cancelTypedEntry();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void IdleScreen::render() {
  heading_->setText(view_.justRestored() ? "You're back online." : "Go offline for");
  const int minutes = view_.selectedMinutes();
  readout_->setText(qText(durationDisplay(minutes)));
  readout_->setAccessibleName(qText("Duration: " + durationDisplay(minutes)));
  if (view_.isTyping()) {
    if (readoutStack_->currentWidget() != entry_) {
      entry_->setText(qText(view_.typedText()));
      readoutStack_->setCurrentWidget(entry_);
      entry_->setFocus();
      entry_->selectAll();
    } else if (entry_->text() != qText(view_.typedText())) {
      entry_->setText(qText(view_.typedText()));
    }
  } else if (readoutStack_->currentWidget() != readout_) {
    const bool hadFocus = entry_->hasFocus();
    readoutStack_->setCurrentWidget(readout_);
    if (hadFocus) readout_->setFocus();
  }
  caption_->setText(qText(view_.durationCaption(timeString_)));
  caption_->setForegroundRole(view_.typedTextInvalid() ? QPalette::Highlight
                                                       : QPalette::WindowText);
  for (auto& [presetMinutes, chip] : presets_) {
    chip->setChecked(!view_.isTyping() && presetMinutes == minutes);
  }
  custom_->setChecked(view_.isTyping());
  goOffline_->setEnabled(view_.goOfflineEnabled());
}

}  // namespace nubrik
