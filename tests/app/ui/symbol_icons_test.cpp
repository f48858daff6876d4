#include "app/ui/symbol_icons.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <map>

#include "app/ui/symbol_drawings.hpp"
#include "tests/support/temp_dir.hpp"

namespace nubrik {
namespace {

// Every symbol name the app's logic and screens ask for.
const QStringList usedSymbols = {"lock.fill",
                                 "lock.open.fill",
                                 "lock.open",
                                 "lock",
                                 "lock.shield.fill",
                                 "exclamationmark.triangle",
                                 "minus",
                                 "plus",
                                 "trash",
                                 "pencil",
                                 "calendar",
                                 "hourglass",
                                 "timer",
                                 "arrow.clockwise.circle",
                                 "questionmark.circle"};

bool hasVisiblePixel(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y) {
    for (int x = 0; x < argb.width(); ++x) {
      if (qAlpha(argb.pixel(x, y)) > 0) return true;
    }
  }
  return false;
}

// The colour of the most opaque pixel: the ink of a monochrome drawing.
QColor inkOf(const QImage& image) {
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  QRgb best = 0;
  for (int y = 0; y < argb.height(); ++y) {
    for (int x = 0; x < argb.width(); ++x) {
      if (qAlpha(argb.pixel(x, y)) > qAlpha(best)) best = argb.pixel(x, y);
    }
  }
  return QColor::fromRgba(best);
}

class ScopedThemeName {
 public:
  explicit ScopedThemeName(const QString& name) : saved_(QIcon::themeName()) {
    QIcon::setThemeName(name);
  }
  ~ScopedThemeName() { QIcon::setThemeName(saved_); }

 private:
  QString saved_;
};

// An icon theme of the test's own, first in the search path and current while the object lives.
class ScopedIconTheme {
 public:
  ScopedIconTheme(const TempDir& dir, const QString& name)
      : savedName_(QIcon::themeName()), savedPaths_(QIcon::themeSearchPaths()) {
    QIcon::setThemeSearchPaths(QStringList{QString::fromStdString(dir.path())} + savedPaths_);
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

class ScopedPalette {
 public:
  explicit ScopedPalette(const QPalette& palette) : saved_(QApplication::palette()) {
    QApplication::setPalette(palette);
  }
  ~ScopedPalette() { QApplication::setPalette(saved_); }

 private:
  QPalette saved_;
};

void expectDrawnAtEverySize(const QIcon& icon, const QString& name, const char* what) {
  ASSERT_FALSE(icon.isNull()) << what << " " << name.toStdString();
  for (const int size : {16, 32, 64}) {
    for (const qreal ratio : {1.0, 2.0}) {
      const QPixmap pixmap = icon.pixmap(QSize(size, size), ratio);
      ASSERT_FALSE(pixmap.isNull()) << what << " " << name.toStdString() << " " << size;
      EXPECT_TRUE(hasVisiblePixel(pixmap.toImage()))
          << what << " " << name.toStdString() << " at " << size << " px, ratio " << ratio;
    }
  }
}

TEST(SymbolIcons, EveryUsedSymbolHasADrawingOfItsOwn) {
  for (const QString& name : usedSymbols) {
    EXPECT_TRUE(hasSymbolDrawing(name)) << name.toStdString();
  }
  EXPECT_EQ(drawnSymbolNames().size(), usedSymbols.size());
}

TEST(SymbolIcons, EverySymbolDrawsWithTheDesktopThemeAndWithNoThemeAtAll) {
  for (const QString& theme : {QIcon::themeName(), QString()}) {
    const ScopedThemeName scoped(theme);
    for (const QString& name : usedSymbols) {
      expectDrawnAtEverySize(symbolIcon(name), name, "theme icon");
    }
  }
  for (const QString& name : usedSymbols) {
    expectDrawnAtEverySize(drawnSymbolIcon(name), name, "drawing");
  }
}

TEST(SymbolIcons, TheThemesIconComesFirstWhenItCanBeDrawn) {
  TempDir dir;
  const std::string theme = "nubrik-test-theme";
  ASSERT_EQ(::mkdir(dir.file(theme).c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(dir.file(theme + "/24x24").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(dir.file(theme + "/24x24/actions").c_str(), 0700), 0);
  dir.write(theme + "/index.theme",
            "[Icon Theme]\nName=Test\nDirectories=24x24/actions\n\n"
            "[24x24/actions]\nSize=24\nType=Fixed\n");
  QImage square(24, 24, QImage::Format_ARGB32);
  square.fill(QColor(0, 128, 0));
  ASSERT_TRUE(square.save(QString::fromStdString(dir.file(theme + "/24x24/actions/list-add.png"))));
  // A format this Qt cannot read draws as nothing; the app's drawing stands in.
  dir.write(theme + "/24x24/actions/list-remove-symbolic.svg", "<svg/>");
  dir.write(theme + "/24x24/actions/list-remove.svg", "<svg/>");
  const ScopedIconTheme scoped(dir, QString::fromStdString(theme));

  const QIcon plus = symbolIcon("plus");
  EXPECT_EQ(plus.name().toStdString(), "list-add");
  EXPECT_EQ(plus.pixmap(QSize(24, 24), 1.0).toImage().pixel(12, 12), QColor(0, 128, 0).rgba());
  const QIcon minus = symbolIcon("minus");
  EXPECT_EQ(minus.name().toStdString(), "");
  expectDrawnAtEverySize(minus, "minus", "unreadable theme icon");
}

TEST(SymbolIcons, AnUnknownNameStillGetsAVisibleIcon) {
  for (const QString& name : {QString("no.such.symbol"), QString(), QString("lock.fill ")}) {
    const ScopedThemeName scoped(QString{});
    expectDrawnAtEverySize(symbolIcon(name), name, "unknown");
  }
}

TEST(SymbolIcons, DrawingsAreSharpAtTheDevicePixelRatio) {
  const QPixmap pixmap = drawnSymbolIcon("lock.fill").pixmap(QSize(16, 16), 2.0);
  EXPECT_EQ(pixmap.size(), QSize(32, 32));
  EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), 2.0);
  // Painted at 32 device pixels, not a 16-pixel drawing scaled up: it matches a 32-pixel one.
  EXPECT_EQ(pixmap.toImage().convertToFormat(QImage::Format_ARGB32),
            drawnSymbolIcon("lock.fill")
                .pixmap(QSize(32, 32), 1.0)
                .toImage()
                .convertToFormat(QImage::Format_ARGB32));
}

TEST(SymbolIcons, EveryDrawingIsDistinct) {
  std::map<QString, QImage> images;
  for (const QString& name : usedSymbols) {
    images[name] = drawnSymbolIcon(name).pixmap(QSize(32, 32), 1.0).toImage();
  }
  images["unknown"] = drawnSymbolIcon("unknown").pixmap(QSize(32, 32), 1.0).toImage();
  for (auto a = images.begin(); a != images.end(); ++a) {
    for (auto b = std::next(a); b != images.end(); ++b) {
      EXPECT_NE(a->second, b->second)
          << a->first.toStdString() << " and " << b->first.toStdString();
    }
  }
}

TEST(SymbolIcons, DrawingsTakeThePalettesTextColourInEveryMode) {
  QPalette palette = QApplication::palette();
  palette.setColor(QPalette::Active, QPalette::WindowText, QColor(200, 10, 10));
  palette.setColor(QPalette::Inactive, QPalette::WindowText, QColor(200, 10, 10));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(10, 150, 10));
  palette.setColor(QPalette::Active, QPalette::HighlightedText, QColor(10, 10, 220));
  const ScopedPalette scoped(palette);
  const struct {
    QIcon::Mode mode;
    QColor ink;
  } cases[] = {{QIcon::Normal, QColor(200, 10, 10)},
               {QIcon::Active, QColor(200, 10, 10)},
               {QIcon::Disabled, QColor(10, 150, 10)},
               {QIcon::Selected, QColor(10, 10, 220)}};
  for (const auto& c : cases) {
    const QImage image = drawnSymbolIcon("minus").pixmap(QSize(32, 32), 1.0, c.mode).toImage();
    EXPECT_EQ(inkOf(image).rgb(), c.ink.rgb()) << static_cast<int>(c.mode);
  }
}

TEST(SymbolIcons, PaintSymbolStaysInsideItsSquare) {
  QImage image(48, 24, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  paintSymbol(painter, QRectF(24, 0, 24, 24), "calendar", Qt::black);
  painter.end();
  EXPECT_FALSE(hasVisiblePixel(image.copy(0, 0, 24, 24)));
  EXPECT_TRUE(hasVisiblePixel(image.copy(24, 0, 24, 24)));
}

}  // namespace
}  // namespace nubrik
