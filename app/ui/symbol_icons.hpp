#pragma once

#include <QIcon>
#include <QString>
#include <string_view>

namespace nubrik {

// The icon for one of the app's symbol names ("lock.fill", "hourglass", ...): the icon theme's
// icon for it when the desktop has one, else the app's own drawing, sharp at every scale.
QIcon symbolIcon(std::string_view symbolName);
QIcon symbolIcon(const QString& symbolName);

}  // namespace nubrik
