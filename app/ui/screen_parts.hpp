#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

class QLabel;
class QPushButton;
class QWidget;

namespace nubrik {

// The pieces every screen of the main window is made of, so that they look alike.

// A symbol drawn at `size` device-independent pixels, centred.
QLabel* makeSymbolLabel(const QString& symbolName, int size, QWidget* parent);
// A centred line of text, its font scaled and optionally bold; it wraps.
QLabel* makeTextLabel(const QString& text, double fontScale, bool bold, QWidget* parent);
// A time of day in the locale's short format ("9:00 AM", "09:00"); hours and minutes for the C
// locale, whose short format has seconds.
QString shortTimeText(const QLocale& locale, QTime time);
// A button's title for a text: an ampersand is shown, not taken as a keyboard mnemonic.
QString buttonTitle(const QString& text);
// A push button whose accessible name is its text (or the given name).
QPushButton* makeButton(const QString& text, QWidget* parent, const QString& accessibleName = {});
// The window's main action: a larger button that answers Return.
QPushButton* makePrimaryButton(const QString& text, QWidget* parent);

}  // namespace nubrik
