#include "app/ui/symbol_icons.hpp"

#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <map>
#include <utility>

#include "app/ui/symbol_drawings.hpp"

namespace nubrik {

namespace {

// The freedesktop icon names for each symbol, best first. A theme's symbolic icons come first:
// they are monochrome like the app's own drawings.
const std::map<QString, QStringList>& themeNames() {
  static const std::map<QString, QStringList> table = {
      {"lock.fill", {"changes-prevent-symbolic", "system-lock-screen"}},
      {"lock", {"changes-prevent-symbolic", "system-lock-screen"}},
      {"lock.open.fill", {"changes-allow-symbolic", "changes-allow"}},
      {"lock.open", {"changes-allow-symbolic", "changes-allow"}},
      {"lock.shield.fill", {"security-high-symbolic", "security-high"}},
      {"exclamationmark.triangle", {"dialog-warning-symbolic", "dialog-warning"}},
      {"minus", {"list-remove-symbolic", "list-remove"}},
      {"plus", {"list-add-symbolic", "list-add"}},
      {"trash", {"edit-delete-symbolic", "edit-delete"}},
      {"pencil", {"document-edit-symbolic", "document-edit"}},
      {"calendar", {"x-office-calendar-symbolic", "x-office-calendar"}},
      {"hourglass", {"hourglass-symbolic", "appointment-soon"}},
      {"timer", {"timer-symbolic", "chronometer"}},
      {"arrow.clockwise.circle", {"view-refresh-symbolic", "view-refresh"}},
      {"questionmark.circle", {"help-about-symbolic", "help-about"}},
  };
  return table;
}

// Icon sizes a desktop commonly asks for; the drawing serves any size, these are what it lists.
const QList<QSize>& listedSizes() {
  static const QList<QSize> sizes = {{16, 16}, {22, 22}, {24, 24},  {32, 32},
                                     {48, 48}, {64, 64}, {128, 128}};
  return sizes;
}

QColor symbolColor(QIcon::Mode mode) {
  const QPalette palette = QGuiApplication::palette();
  switch (mode) {
    case QIcon::Disabled:
      return palette.color(QPalette::Disabled, QPalette::WindowText);
    case QIcon::Selected:
      return palette.color(QPalette::Active, QPalette::HighlightedText);
    case QIcon::Normal:
    case QIcon::Active:
      break;
  }
  return palette.color(QPalette::Active, QPalette::WindowText);
}

// Paints the symbol afresh for every size and mode, in the palette's colours of the moment, so a
// change between a light and a dark palette shows in the next paint.
class SymbolIconEngine final : public QIconEngine {
 public:
  explicit SymbolIconEngine(QString symbolName) : symbolName_(std::move(symbolName)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    paintSymbol(*painter, rect, symbolName_, symbolColor(mode));
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    if (size.isEmpty()) return QPixmap();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    painter.end();
    return QPixmap::fromImage(std::move(image));
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return listedSizes(); }
  QIconEngine* clone() const override { return new SymbolIconEngine(symbolName_); }
  QString key() const override { return QStringLiteral("nubrik.symbol"); }
  QString iconName() override { return {}; }
  bool isNull() override { return false; }

 private:
  QString symbolName_;
};

// A theme icon counts only when it can be drawn: a theme may list an icon in a format this Qt
// cannot read (scalable icons without an SVG reader), and that icon would draw as nothing.
QIcon usableThemeIcon(const QString& themeName) {
  if (!QIcon::hasThemeIcon(themeName)) return QIcon();
  QIcon icon = QIcon::fromTheme(themeName);
  if (icon.isNull() || icon.availableSizes().isEmpty()) return QIcon();
  return icon;
}

}  // namespace

QIcon symbolIcon(std::string_view symbolName) {
  return symbolIcon(
      QString::fromUtf8(symbolName.data(), static_cast<qsizetype>(symbolName.size())));
}

QIcon symbolIcon(const char* symbolName) {
  return symbolIcon(QString::fromUtf8(symbolName));
}

QIcon symbolIcon(const QString& symbolName) {
  const auto names = themeNames().find(symbolName);
  if (names != themeNames().end()) {
    for (const QString& name : names->second) {
      if (QIcon icon = usableThemeIcon(name); !icon.isNull()) return icon;
    }
  }
  return drawnSymbolIcon(symbolName);
}

QIcon drawnSymbolIcon(const QString& symbolName) {
  return QIcon(new SymbolIconEngine(symbolName));
}

QIcon applicationIcon() {
  if (QIcon icon = usableThemeIcon(QStringLiteral("tamsel")); !icon.isNull()) return icon;
  return drawnSymbolIcon(QStringLiteral("lock.fill"));
}

}  // namespace nubrik
