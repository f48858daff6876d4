#pragma once

#include <QIcon>
#include <QString>
#include <string_view>

namespace nubrik {

// The icon for one of the app's symbol names ("lock.fill", "hourglass", ...): the icon theme's
// icon for it when the desktop has one, else the app's own drawing, sharp at every scale.
QIcon symbolIcon(std::string_view symbolName);
QIcon symbolIcon(const QString& symbolName);
QIcon symbolIcon(const char* symbolName);

// The app's own drawing of a symbol, whatever the icon theme holds: monochrome, in the palette's
// text colour (its disabled or highlighted text colour in those modes). A name the app does not
// know draws as a plain circle, so nothing is ever left without an icon.
QIcon drawnSymbolIcon(const QString& symbolName);

// The app's own icon, for its windows: the installed "tamsel" icon when the icon theme can draw
// it, else the drawn padlock.
QIcon applicationIcon();

}  // namespace nubrik
