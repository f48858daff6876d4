#pragma once

#include <QString>
#include <QStringList>

class QColor;
class QPainter;
class QRectF;

namespace nubrik {

// Draws one of the app's symbols in `color`, centred in `rect` and as large as the square that
// fits in it, with vector paths only, so it is sharp at every size and pixel density. A name
// without a drawing of its own draws as a plain circle.
void paintSymbol(QPainter& painter, const QRectF& rect, const QString& symbolName,
                 const QColor& color);

// Whether the app has a drawing of its own for `symbolName`.
bool hasSymbolDrawing(const QString& symbolName);

// Every symbol name the app has a drawing for.
QStringList drawnSymbolNames();

}  // namespace nubrik
