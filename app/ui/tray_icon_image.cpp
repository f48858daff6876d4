#include "app/ui/tray_icon_image.hpp"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/ui/symbol_drawings.hpp"

namespace nubrik {

namespace {

// Text smaller than this many device pixels is not read at a glance in a panel.
constexpr qreal legibleTextPixels = 9;
// Measurements are taken once at this size and scaled.
constexpr int referencePixels = 100;

struct Colors {
  QColor tile;
  QColor ink;
  QColor edge;
};

Colors colorsFor(bool highlighted) {
  const QPalette palette = QGuiApplication::palette();
  if (highlighted) {
    const QColor tile = palette.color(QPalette::Active, QPalette::Highlight);
    return {tile, palette.color(QPalette::Active, QPalette::HighlightedText), tile.darker(130)};
  }
  QColor edge = palette.color(QPalette::Active, QPalette::WindowText);
  edge.setAlphaF(0.35f);
  return {palette.color(QPalette::Active, QPalette::Window),
          palette.color(QPalette::Active, QPalette::WindowText), edge};
}

QFont titleFont(int pixels) {
  QFont font = QGuiApplication::font();
  font.setBold(true);
  font.setPixelSize(std::max(1, pixels));
  return font;
}

// One way to arrange the title, with or without the symbol above it.
struct Layout {
  bool withSymbol = false;
  QStringList lines;
  qreal symbolSide = 0;
  int textPixels = 0;
};

// The largest text that fits `lines` into a box, judged by the tight outlines of the glyphs.
int fittingTextPixels(const QStringList& lines, qreal width, qreal height) {
  const QFontMetricsF metrics(titleFont(referencePixels));
  const qreal lineHeight = metrics.tightBoundingRect(QStringLiteral("0h")).height();
  const qreal gap = lineHeight * 0.3;
  qreal widest = 0;
  for (const QString& text : lines) widest = std::max(widest, metrics.horizontalAdvance(text));
  const auto count = static_cast<qreal>(lines.size());
  const qreal tallest = count * lineHeight + (count - 1) * gap;
  if (widest <= 0 || tallest <= 0) return 0;
  return static_cast<int>(referencePixels * std::min(width / widest, height / tallest));
}

Layout chooseLayout(const QString& title, const QRectF& content) {
  std::vector<QStringList> splits = {{title}};
  const qsizetype space = title.indexOf(u' ');
  if (space > 0) splits.insert(splits.begin(), {title.left(space), title.mid(space + 1)});

  std::vector<Layout> candidates;
  const qreal symbolSide = content.height() * 0.42;
  const qreal below = content.height() - symbolSide * 1.12;
  for (const QStringList& lines : splits) {
    candidates.push_back(
        {true, lines, symbolSide, fittingTextPixels(lines, content.width(), below)});
  }
  for (const QStringList& lines : splits) {
    candidates.push_back(
        {false, lines, 0, fittingTextPixels(lines, content.width(), content.height())});
  }
  // The symbol stays when the text beside it is still legible; otherwise the title alone, in the
  // largest arrangement.
  for (const Layout& layout : candidates) {
    if (layout.withSymbol && layout.textPixels >= legibleTextPixels) return layout;
  }
  return *std::max_element(candidates.begin(), candidates.end(),
                           [](const Layout& a, const Layout& b) {
                             if (a.withSymbol != b.withSymbol) return a.withSymbol;
                             return a.textPixels < b.textPixels;
                           });
}

void drawLines(QPainter& painter, const QStringList& lines, int pixels, const QRectF& box,
               const QColor& color) {
  const QFont font = titleFont(pixels);
  const QFontMetricsF metrics(font);
  const QRectF reference = metrics.tightBoundingRect(QStringLiteral("0h"));
  const qreal gap = reference.height() * 0.3;
  const auto count = static_cast<qreal>(lines.size());
  const qreal total = count * reference.height() + (count - 1) * gap;
  qreal top = box.top() + (box.height() - total) / 2;
  painter.setFont(font);
  painter.setPen(color);
  for (const QString& text : lines) {
    const qreal width = metrics.horizontalAdvance(text);
    const QPointF baseline(box.left() + (box.width() - width) / 2, top - reference.top());
    painter.drawText(baseline, text);
    top += reference.height() + gap;
  }
}

void paintTrayIcon(QPainter& painter, const QRectF& rect, const QString& symbolName,
                   const QString& title) {
  const qreal side = std::min(rect.width(), rect.height());
  if (side <= 0) return;
  const QRectF square(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
  const Colors colors = colorsFor(!title.isEmpty());

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  const qreal edgeWidth = std::max<qreal>(1, side / 32);
  const QRectF tile = square.adjusted(edgeWidth / 2, edgeWidth / 2, -edgeWidth / 2, -edgeWidth / 2);
  QPainterPath tilePath;
  tilePath.addRoundedRect(tile, side * 0.2, side * 0.2);
  painter.fillPath(tilePath, colors.tile);
  painter.strokePath(tilePath, QPen(colors.edge, edgeWidth));

  if (title.isEmpty()) {
    const qreal inset = side * 0.14;
    paintSymbol(painter, square.adjusted(inset, inset, -inset, -inset), symbolName, colors.ink);
    painter.restore();
    return;
  }

  const qreal inset = side * 0.08;
  const QRectF content = square.adjusted(inset, inset, -inset, -inset);
  const Layout layout = chooseLayout(title, content);
  QRectF textBox = content;
  if (layout.withSymbol) {
    const QRectF symbol(content.center().x() - layout.symbolSide / 2, content.top(),
                        layout.symbolSide, layout.symbolSide);
    paintSymbol(painter, symbol, symbolName, colors.ink);
    textBox.setTop(content.top() + layout.symbolSide * 1.12);
  }
  drawLines(painter, layout.lines, layout.textPixels, textBox, colors.ink);
  painter.restore();
}

class TrayIconEngine final : public QIconEngine {
 public:
  TrayIconEngine(QString symbolName, QString title)
      : symbolName_(std::move(symbolName)), title_(std::move(title)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    paintTrayIcon(*painter, rect, symbolName_, title_);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
    if (size.isEmpty()) return QPixmap();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintTrayIcon(painter, QRectF(QPointF(0, 0), QSizeF(size)), symbolName_, title_);
    painter.end();
    return QPixmap::fromImage(std::move(image));
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
  // What a status-notifier host is offered; any other size is drawn on request.
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
  }
  QIconEngine* clone() const override { return new TrayIconEngine(symbolName_, title_); }
  QString key() const override { return QStringLiteral("nubrik.tray"); }
  QString iconName() override { return {}; }
  bool isNull() override { return false; }

 private:
  QString symbolName_;
  QString title_;
};

}  // namespace

QIcon trayIconImage(const QString& symbolName, const QString& title) {
  return QIcon(new TrayIconEngine(symbolName, title));
}

QImage renderTrayIconImage(const QString& symbolName, const QString& title, int pixels) {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  paintTrayIcon(painter, QRectF(0, 0, pixels, pixels), symbolName, title);
  painter.end();
  return image;
}

}  // namespace nubrik
