#include "app/ui/symbol_drawings.hpp"

#include <QColor>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPen>
#include <QRectF>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>

namespace nubrik {

namespace {

// Every drawing is made on a 24 by 24 grid and scaled to the target square; strokes are about
// two grid units wide, which keeps them near a device pixel and a half at 16 pixels.
constexpr qreal grid = 24.0;

using Drawing = std::function<void(QPainter&, const QColor&)>;

QPen strokePen(const QColor& color, qreal width) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void stroke(QPainter& painter, const QPainterPath& path, const QColor& color, qreal width) {
  painter.strokePath(path, strokePen(color, width));
}

void line(QPainter& painter, QPointF from, QPointF to, const QColor& color, qreal width) {
  painter.setPen(strokePen(color, width));
  painter.drawLine(QLineF(from, to));
}

void dot(QPainter& painter, QPointF centre, qreal radius, const QColor& color) {
  QPainterPath path;
  path.addEllipse(centre, radius, radius);
  painter.fillPath(path, color);
}

void circleOutline(QPainter& painter, qreal radius, const QColor& color, qreal width = 1.8) {
  QPainterPath path;
  path.addEllipse(QPointF(12, 12), radius, radius);
  stroke(painter, path, color, width);
}

// The padlock's shackle, its legs down to `bottom`; raised, the left leg stops short of the body.
QPainterPath shackle(qreal bottom, bool raised) {
  const qreal lift = raised ? 2.0 : 0.0;
  QPainterPath path;
  path.moveTo(16, bottom);
  path.lineTo(16, 7 - lift);
  path.arcTo(QRectF(8, 3 - lift, 8, 8), 0, 180);
  path.lineTo(8, raised ? 5.5 : bottom);
  return path;
}

void filledLock(QPainter& painter, const QColor& color, bool open) {
  stroke(painter, shackle(11, open), color, 2.2);
  QPainterPath body;
  body.addRoundedRect(QRectF(5, 10.5, 14, 11), 2.2, 2.2);
  QPainterPath keyhole;
  keyhole.addEllipse(QPointF(12, 15), 1.7, 1.7);
  keyhole.addRoundedRect(QRectF(11.2, 15, 1.6, 3.4), 0.8, 0.8);
  painter.fillPath(body.subtracted(keyhole.simplified()), color);
}

void outlinedLock(QPainter& painter, const QColor& color, bool open) {
  stroke(painter, shackle(11, open), color, 2.0);
  QPainterPath body;
  body.addRoundedRect(QRectF(5.5, 11, 13, 10), 2, 2);
  stroke(painter, body, color, 2.0);
  dot(painter, QPointF(12, 15.3), 1.3, color);
  line(painter, QPointF(12, 15.3), QPointF(12, 17.6), color, 1.5);
}

void shieldWithLock(QPainter& painter, const QColor& color) {
  QPainterPath shield;
  shield.moveTo(12, 2.2);
  shield.lineTo(19.8, 5);
  shield.lineTo(19.8, 11);
  shield.cubicTo(19.8, 16, 16.5, 19.8, 12, 21.8);
  shield.cubicTo(7.5, 19.8, 4.2, 16, 4.2, 11);
  shield.lineTo(4.2, 5);
  shield.closeSubpath();
  QPainterPathStroker rounding(strokePen(color, 1.2));
  const QPainterPath outer = rounding.createStroke(shield).united(shield);

  QPainterPath lock;
  lock.addRoundedRect(QRectF(8.6, 11, 6.8, 5.4), 1, 1);
  QPainterPath loop;
  loop.moveTo(10.1, 11.5);
  loop.lineTo(10.1, 9.6);
  loop.arcTo(QRectF(10.1, 7.7, 3.8, 3.8), 180, -180);
  loop.lineTo(13.9, 11.5);
  QPainterPathStroker loopStroke(strokePen(color, 1.4));
  lock = lock.united(loopStroke.createStroke(loop));
  painter.fillPath(outer.subtracted(lock), color);
}

void warningTriangle(QPainter& painter, const QColor& color) {
  QPainterPath triangle;
  triangle.moveTo(12, 3.5);
  triangle.lineTo(21.5, 20);
  triangle.lineTo(2.5, 20);
  triangle.closeSubpath();
  stroke(painter, triangle, color, 2.0);
  line(painter, QPointF(12, 9.5), QPointF(12, 13.8), color, 2.2);
  dot(painter, QPointF(12, 16.9), 1.25, color);
}

void trash(QPainter& painter, const QColor& color) {
  line(painter, QPointF(4.5, 6.5), QPointF(19.5, 6.5), color, 2.0);
  QPainterPath handle;
  handle.moveTo(9.5, 6.5);
  handle.lineTo(9.5, 3.8);
  handle.lineTo(14.5, 3.8);
  handle.lineTo(14.5, 6.5);
  stroke(painter, handle, color, 1.8);
  QPainterPath can;
  can.moveTo(6.5, 6.5);
  can.lineTo(7.5, 19);
  can.quadTo(7.6, 20.5, 9, 20.5);
  can.lineTo(15, 20.5);
  can.quadTo(16.4, 20.5, 16.5, 19);
  can.lineTo(17.5, 6.5);
  stroke(painter, can, color, 2.0);
  line(painter, QPointF(10.3, 10), QPointF(10.3, 17), color, 1.6);
  line(painter, QPointF(13.7, 10), QPointF(13.7, 17), color, 1.6);
}

void pencil(QPainter& painter, const QColor& color) {
  painter.save();
  // Drawn lying down with the point to the left, then turned so the point is at the lower left.
  painter.translate(12, 12);
  painter.rotate(-45);
  painter.translate(-12, -12);
  QPainterPath body;
  body.moveTo(3.2, 12);
  body.lineTo(7.5, 9.3);
  body.lineTo(20.5, 9.3);
  body.lineTo(20.5, 14.7);
  body.lineTo(7.5, 14.7);
  body.closeSubpath();
  stroke(painter, body, color, 1.8);
  line(painter, QPointF(7.5, 9.3), QPointF(7.5, 14.7), color, 1.6);
  line(painter, QPointF(17.2, 9.3), QPointF(17.2, 14.7), color, 1.6);
  painter.restore();
}

void calendar(QPainter& painter, const QColor& color) {
  QPainterPath page;
  page.addRoundedRect(QRectF(3.5, 5, 17, 15.5), 2.5, 2.5);
  stroke(painter, page, color, 2.0);
  line(painter, QPointF(3.5, 9.5), QPointF(20.5, 9.5), color, 1.8);
  line(painter, QPointF(8, 2.8), QPointF(8, 6.5), color, 2.0);
  line(painter, QPointF(16, 2.8), QPointF(16, 6.5), color, 2.0);
  for (const qreal y : {13.2, 16.8}) {
    for (const qreal x : {8.0, 12.0, 16.0}) dot(painter, QPointF(x, y), 1.1, color);
  }
}

void hourglass(QPainter& painter, const QColor& color) {
  line(painter, QPointF(6, 3), QPointF(18, 3), color, 2.2);
  line(painter, QPointF(6, 21), QPointF(18, 21), color, 2.2);
  for (const qreal side : {-1.0, 1.0}) {
    const auto x = [side](qreal offset) { return 12 + side * offset; };
    QPainterPath glass;
    glass.moveTo(x(4.5), 3);
    glass.lineTo(x(4.5), 6.5);
    glass.cubicTo(x(4.5), 9.5, x(1), 10.5, x(1), 12);
    glass.cubicTo(x(1), 13.5, x(4.5), 14.5, x(4.5), 17.5);
    glass.lineTo(x(4.5), 21);
    stroke(painter, glass, color, 1.8);
  }
  QPainterPath sand;
  sand.moveTo(8.8, 20);
  sand.lineTo(15.2, 20);
  sand.lineTo(12, 16);
  sand.closeSubpath();
  sand.moveTo(9.4, 8);
  sand.lineTo(14.6, 8);
  sand.lineTo(12, 10.6);
  sand.closeSubpath();
  painter.fillPath(sand, color);
}

void stopwatch(QPainter& painter, const QColor& color) {
  QPainterPath face;
  face.addEllipse(QPointF(12, 13.5), 7.8, 7.8);
  stroke(painter, face, color, 2.0);
  line(painter, QPointF(10, 2.8), QPointF(14, 2.8), color, 2.0);
  line(painter, QPointF(12, 2.8), QPointF(12, 5.7), color, 2.0);
  line(painter, QPointF(18.2, 6.6), QPointF(19.6, 8), color, 2.0);
  line(painter, QPointF(12, 13.5), QPointF(12, 9.2), color, 2.0);
  dot(painter, QPointF(12, 13.5), 1.4, color);
}

void clockwiseArrowInCircle(QPainter& painter, const QColor& color) {
  circleOutline(painter, 9.5, color);
  constexpr qreal radius = 5;
  constexpr qreal startDegrees = 100;
  constexpr qreal sweepDegrees = -290;
  QPainterPath arc;
  arc.arcMoveTo(QRectF(12 - radius, 12 - radius, 2 * radius, 2 * radius), startDegrees);
  arc.arcTo(QRectF(12 - radius, 12 - radius, 2 * radius, 2 * radius), startDegrees, sweepDegrees);
  stroke(painter, arc, color, 1.8);

  // The head points along the arc's clockwise travel at its end.
  const qreal end = (startDegrees + sweepDegrees) * std::numbers::pi / 180;
  const QPointF tip = arc.currentPosition();
  const QPointF ahead(std::sin(end), std::cos(end));
  const QPointF across(ahead.y(), -ahead.x());
  QPainterPath head;
  head.moveTo(tip + ahead * 2.6);
  head.lineTo(tip + across * 2.5 - ahead * 0.6);
  head.lineTo(tip - across * 2.5 - ahead * 0.6);
  head.closeSubpath();
  painter.fillPath(head, color);
}

void questionMarkInCircle(QPainter& painter, const QColor& color) {
  circleOutline(painter, 9.5, color);
  QPainterPath hook;
  hook.moveTo(9.3, 9.6);
  hook.cubicTo(9.3, 8.0, 10.5, 6.9, 12, 6.9);
  hook.cubicTo(13.6, 6.9, 14.8, 8.0, 14.8, 9.5);
  hook.cubicTo(14.8, 11.3, 12, 11.6, 12, 13.6);
  stroke(painter, hook, color, 2.0);
  dot(painter, QPointF(12, 16.9), 1.25, color);
}

void plainCircle(QPainter& painter, const QColor& color) {
  circleOutline(painter, 7.5, color, 2.0);
}

const std::map<QString, Drawing>& drawings() {
  static const std::map<QString, Drawing> table = {
      {"lock.fill", [](QPainter& p, const QColor& c) { filledLock(p, c, false); }},
      {"lock.open.fill", [](QPainter& p, const QColor& c) { filledLock(p, c, true); }},
      {"lock", [](QPainter& p, const QColor& c) { outlinedLock(p, c, false); }},
      {"lock.open", [](QPainter& p, const QColor& c) { outlinedLock(p, c, true); }},
      {"lock.shield.fill", shieldWithLock},
      {"exclamationmark.triangle", warningTriangle},
      {"minus",
       [](QPainter& p, const QColor& c) { line(p, QPointF(5, 12), QPointF(19, 12), c, 2.4); }},
      {"plus",
       [](QPainter& p, const QColor& c) {
         line(p, QPointF(5, 12), QPointF(19, 12), c, 2.4);
         line(p, QPointF(12, 5), QPointF(12, 19), c, 2.4);
       }},
      {"trash", trash},
      {"pencil", pencil},
      {"calendar", calendar},
      {"hourglass", hourglass},
      {"timer", stopwatch},
      {"arrow.clockwise.circle", clockwiseArrowInCircle},
      {"questionmark.circle", questionMarkInCircle},
  };
  return table;
}

}  // namespace

void paintSymbol(QPainter& painter, const QRectF& rect, const QString& symbolName,
                 const QColor& color) {
  const qreal side = std::min(rect.width(), rect.height());
  if (side <= 0) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
  painter.scale(side / grid, side / grid);
  const auto found = drawings().find(symbolName);
  if (found != drawings().end()) {
    found->second(painter, color);
  } else {
    plainCircle(painter, color);
  }
  painter.restore();
}

bool hasSymbolDrawing(const QString& symbolName) {
  return drawings().contains(symbolName);
}

QStringList drawnSymbolNames() {
  QStringList names;
  for (const auto& [name, drawing] : drawings()) names.append(name);
  return names;
}

}  // namespace nubrik
