#include "qtui/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>

#include "qtui/QtText.h"

namespace qvui {

namespace {

// One line: breaks and tabs would otherwise be drawn as nothing or as boxes.
QString oneLine(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return text;
}

}  // namespace

ElidedLabel::ElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent), full_(text), mode_(mode) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAccessibleName(text);
    elide();
}

void ElidedLabel::setOwnToolTip(const QString& tip) {
    ownToolTip_ = tip;
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) elide();
}

void ElidedLabel::elide() {
    QString line = oneLine(full_);
    QString shown = fontMetrics().elidedText(line, mode_, std::max(0, contentsRect().width()));
    elided_ = shown != line;
    if (text() != shown) setText(shown);
    QString tip = !ownToolTip_.isEmpty() ? ownToolTip_ : (elided_ ? full_ : QString());
    setToolTip(plainToolTip(tip));
}

}  // namespace qvui
