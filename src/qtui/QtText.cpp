#include "qtui/QtText.h"

#include <QApplication>
#include <QFont>
#include <QTextDocument>

#include <cmath>

namespace qvui {

QString toQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQString(const QString& text) { return text.toStdString(); }

QString plainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text)) return text;
    // Rich text is the only way to make Qt show a tag-like text as it stands.
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QString literalMnemonic(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return escaped;
}

QFont qtFont(const Font& font) {
    QFont f = QApplication::font();
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pointSize))));
    f.setBold(font.bold);
    return f;
}

}  // namespace qvui
