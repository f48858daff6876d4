#include "app/ui/symbol_icons.hpp"

namespace nubrik {

QIcon symbolIcon(std::string_view symbolName) {
  return symbolIcon(
      QString::fromUtf8(symbolName.data(), static_cast<qsizetype>(symbolName.size())));
}

QIcon symbolIcon(const QString& symbolName) {
  return QIcon::fromTheme(symbolName);
}

}  // namespace nubrik
