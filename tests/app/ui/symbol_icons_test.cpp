#include "app/ui/symbol_icons.hpp"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "app/ui/symbol_drawings.hpp"

namespace nubrik {
namespace {

const QStringList usedSymbols = QStringLiteral(
                                    "lock.fill lock.open.fill lock.open lock lock.shield.fill "
                                    "exclamationmark.triangle minus plus trash pencil calendar "
                                    "hourglass timer arrow.clockwise.circle questionmark.circle")
                                    .split(' ');

bool hasVisiblePixel(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y) {
    for (int x = 0; x < argb.width(); ++x) {
      if (qAlpha(argb.pixel(x, y)) > 0) return true;
    }
  }
  return false;
}

QImage argb(const QPixmap& pixmap) {
  return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

// An icon theme of the test's own, first in the search path and current while the object lives;
// an empty name means no theme at all.
class ScopedIconTheme {
 public:
  ScopedIconTheme(const QString& path, const QString& name)
      : savedName_(QIcon::themeName()), savedPaths_(QIcon::themeSearchPaths()) {
    QIcon::setThemeSearchPaths(QStringList{path} + savedPaths_);
    QIcon::setThemeName(name);
  }
  ~ScopedIconTheme() {
    QIcon::setThemeSearchPaths(savedPaths_);
    QIcon::setThemeName(savedName_);
  }

 private:
  QString savedName_;
  QStringList savedPaths_;
};

void expectDrawnAtEverySize(const QIcon& icon, const QString& name) {
  for (const int size : {16, 32, 64}) {
    for (const qreal ratio : {1.0, 2.0}) {
      EXPECT_TRUE(hasVisiblePixel(icon.pixmap(QSize(size, size), ratio).toImage()))
          << name.toStdString() << " at " << size << " px, ratio " << ratio;
    }
  }
}

// Each symbol, and an unknown name, draws within its square at every size with the desktop's
// theme and with none; the drawings are painted at the device pixel ratio, not scaled up.
TEST(SymbolIcons, EverySymbolDrawsSharpAndInsideItsSquareWithOrWithoutATheme) {
  EXPECT_EQ(drawnSymbolNames().size(), usedSymbols.size());
  for (const QString& name : usedSymbols + QStringList{"no.such.symbol", QString()}) {
    EXPECT_EQ(hasSymbolDrawing(name), usedSymbols.contains(name)) << name.toStdString();
    expectDrawnAtEverySize(symbolIcon(name), name);
    expectDrawnAtEverySize(drawnSymbolIcon(name), name);
    {
      const ScopedIconTheme noTheme{QString(), QString()};
      expectDrawnAtEverySize(symbolIcon(name), name);
    }
    const QPixmap doubled = drawnSymbolIcon(name).pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(doubled.size(), QSize(32, 32));
    EXPECT_EQ(argb(doubled), argb(drawnSymbolIcon(name).pixmap(QSize(32, 32), 1.0)))
        << name.toStdString();

    QImage image(48, 24, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintSymbol(painter, QRectF(24, 0, 24, 24), name, Qt::black);
    painter.end();
    EXPECT_FALSE(hasVisiblePixel(image.copy(0, 0, 24, 24))) << name.toStdString();
  }
}

}  // namespace
}  // namespace nubrik
