#pragma once
// A one-line label that shortens its text to its width (in the middle, at the head or at the
// tail) and shows the whole text as its tool tip whenever it had to shorten it, unless the
// label was given a tool tip of its own.

#include <QLabel>
#include <QString>

namespace qvui {

class ElidedLabel : public QLabel {
public:
    ElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent = nullptr);

    const QString& fullText() const { return full_; }
    bool isElided() const { return elided_; }
    // A tool tip that is always shown; empty: the whole text, only while it is shortened.
    void setOwnToolTip(const QString& tip);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void elide();

    QString full_;
    QString ownToolTip_;
    Qt::TextElideMode mode_;
    bool elided_ = false;
};

}  // namespace qvui
