#include "platform/dialogs/ScrollView.h"

#include <algorithm>

namespace qvui {

Rect ClipView::bounds() const { return {scrollOrigin_.x, scrollOrigin_.y, frame().width, frame().height}; }

void ClipView::scrollToPoint(Point point) {
    double maxX = 0;
    double maxY = 0;
    if (View* doc = documentView()) {
        maxX = std::max(0.0, doc->frame().maxX() - frame().width);
        maxY = std::max(0.0, doc->frame().maxY() - frame().height);
    }
    scrollOrigin_.x = std::clamp(point.x, 0.0, maxX);
    scrollOrigin_.y = std::clamp(point.y, 0.0, maxY);
}

namespace {

double borderWidth(BorderType type) {
    switch (type) {
    case BorderType::none: return 0;
    case BorderType::line: return 1;
    case BorderType::bezel: return 1;
    case BorderType::groove: return 2;
    }
    return 0;
}

}  // namespace

ScrollView::ScrollView(Rect frame) : View(frame), clip_(std::make_shared<ClipView>()) {
    setAutoresizesSubviews(false);  // the clip view is laid out by tile(), not by masks
    addSubview(clip_);
    tile();
}

void ScrollView::setFrame(const Rect& frame) {
    View::setFrame(frame);
    tile();
}

void ScrollView::setBorderType(BorderType type) {
    borderType_ = type;
    tile();
}

void ScrollView::tile() {
    double b = borderWidth(borderType_);
    const Rect& f = frame();
    clip_->setFrame({b, b, std::max(0.0, f.width - 2 * b), std::max(0.0, f.height - 2 * b)});
    clip_->scrollToPoint(clip_->scrollOrigin_);  // a larger window may leave less to scroll
}

void ScrollView::setDocumentView(std::shared_ptr<View> document) {
    while (!clip_->subviews().empty()) clip_->subviews().front()->removeFromSuperview();
    if (document) clip_->addSubview(std::move(document));
    clip_->scrollToPoint({0, 0});
}

void ScrollView::reflectScrolledClipView(ClipView& clip) {
    if (&clip != clip_.get()) return;
    View* doc = clip.documentView();
    double docHeight = doc ? doc->frame().maxY() : 0;
    double visible = clip.frame().height;
    double hidden = docHeight - visible;
    verticalProportion_ = docHeight > 0 ? std::min(1.0, visible / docHeight) : 1.0;
    verticalValue_ = hidden > 0 ? std::clamp((hidden - clip.bounds().y) / hidden, 0.0, 1.0) : 0.0;
    verticalShown_ = hasVerticalScroller_ && (!autohidesScrollers_ || hidden > 0);
}

TextView::TextView(Rect frame) : View(frame) { container_.setContainerSize({frame.width, frame.height}); }

void TextView::setFrame(const Rect& frame) {
    View::setFrame(frame);
    if (container_.widthTracksTextView()) {
        container_.setContainerSize({frame.width, container_.containerSize().height});
    }
}

}  // namespace qvui
