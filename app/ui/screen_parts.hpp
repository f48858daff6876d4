#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace nubrik {

// The pieces every screen of the main window is made of, so that they look alike.

// A symbol drawn at `size` device-independent pixels, centred.
QLabel* makeSymbolLabel(const QString& symbolName, int size, QWidget* parent);
// A centred line of text, its font scaled and optionally bold; it wraps.
QLabel* makeTextLabel(const QString& text, double fontScale, bool bold, QWidget* parent);
// A button's title for a text: an ampersand is shown, not taken as a keyboard mnemonic.
QString buttonTitle(const QString& text);
// A push button whose accessible name is its text (or the given name).
QPushButton* makeButton(const QString& text, QWidget* parent, const QString& accessibleName = {});
// The window's main action: a larger button that answers Return.
QPushButton* makePrimaryButton(const QString& text, QWidget* parent);

}  // namespace nubrik
