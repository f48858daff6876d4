#include "app/ui/onboarding_sheet.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/symbol_icons.hpp"

namespace nubrik {

namespace {

constexpr int pointSymbolSize = 28;

QString qt(const std::string& text) {
  return QString::fromStdString(text);
}

QWidget* pointRow(const OnboardingPoint& point, QWidget* parent) {
  auto* row = new QWidget(parent);
  row->setObjectName(QStringLiteral("onboardingPoint"));
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(14);

  auto* symbol = new QLabel(row);
  symbol->setPixmap(symbolIcon(point.symbolName).pixmap(pointSymbolSize, pointSymbolSize));
  symbol->setFixedSize(pointSymbolSize, pointSymbolSize);
  symbol->setAlignment(Qt::AlignCenter);
  // The symbol only decorates the title beside it.
  symbol->setAccessibleName(QString());
  layout->addWidget(symbol, 0, Qt::AlignTop);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  auto* title = new QLabel(qt(point.title), row);
  title->setObjectName(QStringLiteral("onboardingPointTitle"));
  title->setTextFormat(Qt::PlainText);
  QFont titleFont = title->font();
  titleFont.setBold(true);
  title->setFont(titleFont);
  texts->addWidget(title);
  auto* body = new QLabel(qt(point.body), row);
  body->setObjectName(QStringLiteral("onboardingPointBody"));
  body->setTextFormat(Qt::PlainText);
  body->setWordWrap(true);
  texts->addWidget(body);
  layout->addLayout(texts, 1);

  row->setAccessibleName(qt(point.title));
  row->setAccessibleDescription(qt(point.body));
  return row;
}

}  // namespace

OnboardingSheet::OnboardingSheet(QWidget* parent, OnboardingStore& store)
    : Sheet(parent, QStringLiteral("lock.open.fill"), QStringLiteral("How Tamsel works"),
            QString()),
      store_(store) {
  setObjectName(QStringLiteral("onboardingSheet"));
  body()->setSpacing(16);
  for (const OnboardingPoint& point : onboardingPoints()) body()->addWidget(pointRow(point, this));

  gotIt_ = addButton(QStringLiteral("Got it"), true);
  gotIt_->setObjectName(QStringLiteral("gotItButton"));
  gotIt_->setFocus();
  connect(gotIt_, &QPushButton::clicked, this, [this] {
    store_.markOnboardingSeen();
    accept();
  });
}

}  // namespace nubrik
