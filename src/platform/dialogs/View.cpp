#include "platform/dialogs/View.h"

#include <algorithm>

namespace qvui {

View::View(Rect frame) : frame_(frame) {}

View::~View() {
    // Subviews may be held elsewhere and outlive us: they must not point at a dead superview.
    for (auto& v : subviews_) v->superview_ = nullptr;
}

void View::setFrame(const Rect& frame) {
    Size old = frame_.size();
    frame_ = frame;
    if (old != frame.size() && autoresizesSubviews_) resizeSubviewsWithOldSize(old);
}

bool View::isAncestorOrSelf(const View* view) const {
    for (const View* v = this; v; v = v->superview_) {
        if (v == view) return true;
    }
    return false;
}

bool View::addSubview(std::shared_ptr<View> view) {
    if (!view || isAncestorOrSelf(view.get())) return false;
    view->removeFromSuperview();
    view->superview_ = this;
    subviews_.push_back(std::move(view));
    return true;
}

void View::removeFromSuperview() {
    View* parent = superview_;
    if (!parent) return;
    superview_ = nullptr;
    auto& list = parent->subviews_;
    // Erasing may drop the last owner of this view, so nothing of `this` is touched afterwards.
    list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& v) { return v.get() == this; }), list.end());
}

namespace {

// Shares `delta` equally between the flexible parts of one axis: the leading margin, the size
// and the trailing margin. A view with no flexible part keeps its distance to the origin side.
void resizeAxis(double& origin, double& length, double delta, bool minFlexible, bool sizeFlexible, bool maxFlexible) {
    int parts = int(minFlexible) + int(sizeFlexible) + int(maxFlexible);
    if (parts == 0) return;
    double share = delta / parts;
    if (minFlexible) origin += share;
    if (sizeFlexible) length = std::max(0.0, length + share);
}

}  // namespace

void View::resizeSubviewsWithOldSize(Size oldSize) {
    double dx = frame_.width - oldSize.width;
    double dy = frame_.height - oldSize.height;
    for (auto& v : subviews_) {
        unsigned m = v->autoresizingMask_;
        if (m == ViewNotSizable) continue;
        Rect f = v->frame_;
        resizeAxis(f.x, f.width, dx, m & ViewMinXMargin, m & ViewWidthSizable, m & ViewMaxXMargin);
        resizeAxis(f.y, f.height, dy, m & ViewMinYMargin, m & ViewHeightSizable, m & ViewMaxYMargin);
        v->setFrame(f);
    }
}

bool View::isDescendantOf(const View* ancestor) const {
    for (const View* v = this; v; v = v->superview()) {
        if (v == ancestor) return true;
    }
    return false;
}

std::vector<View*> viewTreeOrder(View* root) {
    std::vector<View*> order;
    if (!root) return order;
    // Explicit stack: a deep tree cannot exhaust the call stack.
    std::vector<View*> pending{root};
    while (!pending.empty()) {
        View* v = pending.back();
        pending.pop_back();
        order.push_back(v);
        const auto& subs = v->subviews();
        for (auto it = subs.rbegin(); it != subs.rend(); ++it) pending.push_back(it->get());
    }
    return order;
}

}  // namespace qvui
