#pragma once
// The retained view tree that dialogs hand to a dialog backend: plain views with frames in
// points, origin at the bottom left of the superview, y growing upward. Backends walk the tree
// to render it and write the user's answers back into its controls, so a dialog shown again
// shows exactly the state it was left in.

#include <functional>
#include <memory>
#include <vector>

namespace qvui {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    bool operator==(const Rect&) const = default;
};

// How a view follows a change of its superview's size (flags may be combined).
enum AutoresizingMask : unsigned {
    ViewNotSizable = 0,
    ViewMinXMargin = 1,
    ViewWidthSizable = 2,
    ViewMaxXMargin = 4,
    ViewMinYMargin = 8,
    ViewHeightSizable = 16,
    ViewMaxYMargin = 32,
};

// What a view is to someone who does not see its layout (a screen reader, a text backend).
// A table's controls are rows, each a label and the pop-up after it, under optional header
// labels; a backend that cannot show them side by side may list them as one overview.
enum class AccessibilityRole { group, table };

class View {
public:
    explicit View(Rect frame = {});
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    static std::shared_ptr<View> initWithFrame(Rect frame) { return std::make_shared<View>(frame); }

    const Rect& frame() const { return frame_; }
    // Moves and resizes the view; subviews follow their autoresizing masks.
    virtual void setFrame(const Rect& frame);
    // The view's own coordinate space: origin 0,0 and the frame's size.
    virtual Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }

    // Appends `view` as the front-most subview, taking it from its old superview. Refuses (and
    // answers false for) null, the view itself and any of its ancestors, which would make a cycle.
    bool addSubview(std::shared_ptr<View> view);
    void removeFromSuperview();
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    View* superview() const { return superview_; }

    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool on) { autoresizesSubviews_ = on; }

    AccessibilityRole accessibilityRole() const { return role_; }
    void setAccessibilityRole(AccessibilityRole role) { role_ = role; }
    // Whether this view is `ancestor` or lies inside it.
    bool isDescendantOf(const View* ancestor) const;

protected:
    // Applies the subviews' autoresizing masks after this view changed from `oldSize`.
    void resizeSubviewsWithOldSize(Size oldSize);

private:
    bool isAncestorOrSelf(const View* view) const;

    Rect frame_;
    std::vector<std::shared_ptr<View>> subviews_;
    View* superview_ = nullptr;  // not owning: a superview outlives its subviews' link to it
    unsigned autoresizingMask_ = ViewNotSizable;
    bool autoresizesSubviews_ = true;
    AccessibilityRole role_ = AccessibilityRole::group;
};

// Every view of the tree below and including `root`, depth first in the order the subviews
// were added: the order in which a backend presents controls and a script addresses them.
std::vector<View*> viewTreeOrder(View* root);

// The views of the tree that are of type T, in view-tree order.
template <class T>
std::vector<T*> viewsOfType(View* root) {
    std::vector<T*> found;
    for (View* v : viewTreeOrder(root)) {
        if (auto* t = dynamic_cast<T*>(v)) found.push_back(t);
    }
    return found;
}

}  // namespace qvui
