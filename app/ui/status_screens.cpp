#include "app/ui/status_screens.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/screen_parts.hpp"

namespace nubrik {

ProgressScreen::ProgressScreen(const QString& text, const QString& objectName, QWidget* parent)
    : QWidget(parent) {
  setObjectName(objectName);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(48, 24, 48, 24);
  layout->setSpacing(16);
  layout->addStretch(1);
  auto* label = makeTextLabel(text, 1.2, true, this);
  label->setObjectName(objectName + "Label");
  layout->addWidget(label);
  auto* progress = new QProgressBar(this);
  // No end is known: a busy indicator.
  progress->setRange(0, 0);
  progress->setTextVisible(false);
  progress->setMaximumWidth(240);
  progress->setAccessibleName(text);
  layout->addWidget(progress, 0, Qt::AlignHCenter);
  layout->addStretch(1);
}

UnavailableScreen::UnavailableScreen(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(36, 24, 36, 24);
  layout->setSpacing(14);
  layout->addStretch(1);
  layout->addWidget(makeSymbolLabel("exclamationmark.triangle", 44, this));
  auto* heading = makeTextLabel("Helper status unavailable.", 1.3, true, this);
  heading->setObjectName("unavailableHeading");
  layout->addWidget(heading);
  detail_ = makeTextLabel(QString(), 1.0, false, this);
  detail_->setObjectName("unavailableDetail");
  layout->addWidget(detail_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* retry = makeButton("Retry", this);
  retry->setObjectName("retryButton");
  connect(retry, &QPushButton::clicked, this, &UnavailableScreen::retryRequested);
  auto* setup = makeButton("Set Up Helper…", this);
  setup->setObjectName("setUpHelperButton");
  connect(setup, &QPushButton::clicked, this, &UnavailableScreen::setupRequested);
  buttons->addWidget(retry);
  buttons->addWidget(setup);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->addStretch(1);
}

void UnavailableScreen::setDetail(const QString& detail) {
  detail_->setText(detail);
}

}  // namespace nubrik
