#pragma once
// Our strings are UTF-8 std::string; Qt's are UTF-16 QString. Texts shown in Qt widgets come
// from data files, file names and translations, so they are always shown as plain text:
// nothing a column name holds may be read as markup or as a keyboard mnemonic.

#include <QString>

#include <string>

#include "platform/dialogs/Controls.h"

class QFont;

namespace qvui {

// Bytes that are not UTF-8 become U+FFFD.
QString toQString(const std::string& text);
std::string fromQString(const QString& text);

// A tool tip that Qt shows literally, even when the text looks like markup.
QString plainToolTip(const QString& text);
// A title for a button, menu item or action: "&" is shown, never taken as a mnemonic.
QString literalMnemonic(const QString& text);

// The application's font at `font`'s size and weight. Our sizes are points of a 72 dpi
// canvas, which we draw as device-independent pixels, so that text keeps the proportions of
// the frames it was laid out for.
QFont qtFont(const Font& font);

}  // namespace qvui
