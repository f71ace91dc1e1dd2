#include "qtui/AccessoryView.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "platform/dialogs/Controls.h"
#include "platform/dialogs/ScrollView.h"
#include "qtui/ElidedLabel.h"
#include "qtui/QtText.h"

namespace qvui {

namespace {

int px(double points) { return static_cast<int>(std::lround(points)); }

// A pop-up list that leaves the mouse wheel to the list around it unless it has the focus:
// scrolling through the field mapping must never change a choice on the way.
class PopUpList : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void wheelEvent(QWheelEvent* event) override {
        if (!hasFocus()) {
            event->ignore();
            return;
        }
        QComboBox::wheelEvent(event);
    }
};

// One-line fields take no line breaks or other control characters: pasted breaks and tabs
// become spaces, anything else of the kind is dropped.
void keepOneLine(QLineEdit* edit, const QString& typed) {
    QString clean;
    clean.reserve(typed.size());
    for (QChar c : typed) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            clean += QLatin1Char(' ');
        else if (c.category() != QChar::Other_Control)
            clean += c;
    }
    if (clean == typed) return;
    int cursor = std::min(static_cast<int>(clean.size()), edit->cursorPosition());
    edit->setText(clean);
    edit->setCursorPosition(cursor);
}

void applyBorder(QFrame* frame, BorderType border) {
    switch (border) {
    case BorderType::none: frame->setFrameStyle(QFrame::NoFrame); break;
    case BorderType::line: frame->setFrameStyle(QFrame::Box | QFrame::Plain); break;
    case BorderType::bezel: frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken); break;
    case BorderType::groove: frame->setFrameStyle(QFrame::Box | QFrame::Sunken); break;
    }
}

Qt::ScrollBarPolicy scrollerPolicy(bool has, bool autohides) {
    if (!has) return Qt::ScrollBarAlwaysOff;
    return autohides ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn;
}

void applyScrollers(QAbstractScrollArea* area, const ScrollView& scroll) {
    area->setVerticalScrollBarPolicy(scrollerPolicy(scroll.hasVerticalScroller(), scroll.autohidesScrollers()));
    area->setHorizontalScrollBarPolicy(scrollerPolicy(scroll.hasHorizontalScroller(), scroll.autohidesScrollers()));
}

// The document's top edge, counted down from the top: what Qt's vertical scroll bar holds.
double documentHeight(const ScrollView& scroll) {
    View* document = scroll.documentView();
    return document ? document->frame().maxY() : 0;
}

}  // namespace

QRect widgetRect(const Rect& frame, double parentHeight) {
    return QRect(px(frame.x), px(parentHeight - frame.y - frame.height), px(frame.width), px(frame.height));
}

AccessoryView::AccessoryView(View& root, const QString& context) : context_(context) {
    widget_ = make(root, nullptr, root.frame().maxY());
    widget_->setFixedSize(px(root.frame().width), px(root.frame().height));
}

QWidget* AccessoryView::make(View& view, QWidget* parent, double parentHeight) {
    QWidget* widget = nullptr;
    if (auto* scroll = dynamic_cast<ScrollView*>(&view)) {
        widget = makeScroll(*scroll, parent);
    } else if (auto* text = dynamic_cast<TextView*>(&view)) {
        QPlainTextEdit* edit = makeTextView(*text, parent);
        edit->setFrameStyle(QFrame::NoFrame);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget = edit;
    } else if (auto* label = dynamic_cast<Label*>(&view)) {
        widget = makeLabel(*label, parent);
    } else if (auto* field = dynamic_cast<TextField*>(&view)) {
        widget = makeField(*field, parent);
    } else if (auto* popup = dynamic_cast<PopUpButton*>(&view)) {
        widget = makePopUp(*popup, parent);
    } else {
        widget = new QWidget(parent);
        for (const auto& subview : view.subviews()) make(*subview, widget, view.frame().height);
    }
    widget->setGeometry(widgetRect(view.frame(), parentHeight));
    return widget;
}

QWidget* AccessoryView::makeScroll(ScrollView& scroll, QWidget* parent) {
    View* document = scroll.documentView();
    // A text view scrolls itself; it takes the scroll view's place, border and scrollers.
    if (auto* text = dynamic_cast<TextView*>(document)) {
        QPlainTextEdit* edit = makeTextView(*text, parent);
        applyBorder(edit, scroll.borderType());
        applyScrollers(edit, scroll);
        return edit;
    }
    auto* area = new QScrollArea(parent);
    applyBorder(area, scroll.borderType());
    applyScrollers(area, scroll);
    area->setWidgetResizable(false);
    area->setBackgroundRole(QPalette::Base);
    area->setAccessibleName(context_);
    if (document) {
        QWidget* inner = make(*document, nullptr, documentHeight(scroll));
        inner->setAutoFillBackground(false);
        area->setWidget(inner);
        scrolls_.push_back({&scroll, area});
    }
    return area;
}

QPlainTextEdit* AccessoryView::makeTextView(TextView& text, QWidget* parent) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setPlainText(toQString(text.string()));
    edit->setFont(qtFont(text.font()));
    edit->setReadOnly(!text.isEditable());
    Qt::TextInteractionFlags flags = Qt::NoTextInteraction;
    if (text.isEditable())
        flags = Qt::TextEditorInteraction;
    else if (text.isSelectable())
        flags = Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard;
    edit->setTextInteractionFlags(flags);
    edit->setLineWrapMode(text.textContainer().widthTracksTextView() ? QPlainTextEdit::WidgetWidth
                                                                     : QPlainTextEdit::NoWrap);
    edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    edit->setTabChangesFocus(true);
    edit->setAccessibleName(context_);
    texts_.push_back({&text, edit});
    return edit;
}

QWidget* AccessoryView::makeLabel(Label& label, QWidget* parent) {
    QString text = toQString(label.stringValue());
    QLabel* widget = nullptr;
    Qt::TextElideMode elide = Qt::ElideNone;
    switch (label.lineBreakMode()) {
    case LineBreakMode::truncatingMiddle: elide = Qt::ElideMiddle; break;
    case LineBreakMode::truncatingHead: elide = Qt::ElideLeft; break;
    case LineBreakMode::truncatingTail: elide = Qt::ElideRight; break;
    default: break;
    }
    if (elide != Qt::ElideNone) {
        auto* elided = new ElidedLabel(text, elide, parent);
        elided->setFont(qtFont(label.font()));
        elided->setOwnToolTip(toQString(label.toolTip()));
        widget = elided;
    } else {
        widget = new QLabel(parent);
        widget->setTextFormat(Qt::PlainText);
        widget->setText(text);
        widget->setFont(qtFont(label.font()));
        bool wraps = label.lineBreakMode() == LineBreakMode::wordWrapping ||
                     label.lineBreakMode() == LineBreakMode::charWrapping;
        widget->setWordWrap(wraps);
        widget->setToolTip(plainToolTip(toQString(label.toolTip())));
        widget->setAccessibleName(text);
    }
    return widget;
}

QLineEdit* AccessoryView::makeField(TextField& field, QWidget* parent) {
    auto* edit = new QLineEdit(toQString(field.stringValue()), parent);
    edit->setFont(qtFont(field.font()));
    edit->setAccessibleName(context_);
    edit->setCursorPosition(0);
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& typed) { keepOneLine(edit, typed); });
    fields_.push_back({&field, edit});
    return edit;
}

QComboBox* AccessoryView::makePopUp(PopUpButton& popup, QWidget* parent) {
    auto* combo = new PopUpList(parent);
    combo->setFocusPolicy(Qt::StrongFocus);
    combo->setFont(qtFont(Font{}));
    combo->setMaxVisibleItems(20);
    for (const std::string& title : popup.itemTitles()) combo->addItem(toQString(title));
    combo->setCurrentIndex(popup.indexOfSelectedItem());
    const std::string& label = popup.accessibilityLabel();
    combo->setAccessibleName(label.empty() ? context_ : toQString(label));
    popups_.push_back({&popup, combo});
    return combo;
}

QWidget* AccessoryView::firstTextControl() const {
    for (const auto& f : fields_)
        if (f.widget) return f.widget;
    for (const auto& t : texts_)
        if (t.widget && t.view->isEditable()) return t.widget;
    return nullptr;
}

void AccessoryView::restoreScrollPositions() {
    for (const auto& s : scrolls_) {
        if (!s.widget) continue;
        const ClipView& clip = *s.view->contentView();
        double top = documentHeight(*s.view) - clip.bounds().y - clip.frame().height;
        s.widget->verticalScrollBar()->setValue(px(std::max(0.0, top)));
        s.widget->horizontalScrollBar()->setValue(px(clip.bounds().x));
    }
}

void AccessoryView::writeBack() {
    for (const auto& p : popups_)
        if (p.widget) p.view->selectItemAtIndex(p.widget->currentIndex());
    for (const auto& f : fields_)
        if (f.widget) f.view->setStringValue(fromQString(f.widget->text()));
    for (const auto& t : texts_)
        if (t.widget && t.view->isEditable()) t.view->setString(fromQString(t.widget->toPlainText()));
    for (const auto& s : scrolls_) {
        if (!s.widget) continue;
        ClipView& clip = *s.view->contentView();
        double top = s.widget->verticalScrollBar()->value();
        clip.scrollToPoint({static_cast<double>(s.widget->horizontalScrollBar()->value()),
                            documentHeight(*s.view) - clip.frame().height - top});
        s.view->reflectScrolledClipView(clip);
    }
}

}  // namespace qvui
