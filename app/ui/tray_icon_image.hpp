#pragma once

#include <QIcon>
#include <QString>

class QImage;

namespace nubrik {

// The tray's picture: the symbol on a small rounded tile in the palette's colours, so it reads on
// a light panel and a dark one alike. With a title (the remaining time of a session) the tile
// takes the highlight colour and the title is drawn under the symbol, as large as the tray's size
// allows; where the symbol would leave the text too small to read, the text fills the tile alone.
// The icon draws itself afresh at every size and pixel density the tray asks for.
QIcon trayIconImage(const QString& symbolName, const QString& title);

// The same picture as one image of `pixels` device pixels square.
QImage renderTrayIconImage(const QString& symbolName, const QString& title, int pixels);

}  // namespace nubrik
