#pragma once
// A scroll view showing part of a larger document view through its clip view, and the
// multi-line text view that is usually that document.

#include <memory>
#include <string>

#include "platform/dialogs/Controls.h"
#include "platform/dialogs/View.h"

namespace qvui {

enum class BorderType { none, line, bezel, groove };

// The visible window onto a document view. Its bounds' origin is the point of the document
// shown at the clip view's bottom left corner.
class ClipView : public View {
public:
    using View::View;

    Rect bounds() const override;
    // The one subview, or null.
    View* documentView() const { return subviews().empty() ? nullptr : subviews().front().get(); }

    // Shows the document from `point`, kept within the document so that no empty area beyond
    // its edges is scrolled into view.
    void scrollToPoint(Point point);

private:
    friend class ScrollView;
    Point scrollOrigin_;
};

class ScrollView : public View {
public:
    explicit ScrollView(Rect frame = {});

    void setFrame(const Rect& frame) override;

    BorderType borderType() const { return borderType_; }
    void setBorderType(BorderType type);
    bool hasVerticalScroller() const { return hasVerticalScroller_; }
    void setHasVerticalScroller(bool on) { hasVerticalScroller_ = on; }
    bool hasHorizontalScroller() const { return hasHorizontalScroller_; }
    void setHasHorizontalScroller(bool on) { hasHorizontalScroller_ = on; }
    bool autohidesScrollers() const { return autohidesScrollers_; }
    void setAutohidesScrollers(bool on) { autohidesScrollers_ = on; }

    // Replaces the document view; the clip view then shows the document from its origin.
    void setDocumentView(std::shared_ptr<View> document);
    View* documentView() const { return clip_->documentView(); }
    const std::shared_ptr<ClipView>& contentView() const { return clip_; }
    // The size of the visible area: the frame less the border. Scrollers overlay the content,
    // as current desktops draw them, and take no room of their own.
    Size contentSize() const { return clip_->frame().size(); }

    // Brings the scrollers up to date with the clip view's position and the document's size.
    void reflectScrolledClipView(ClipView& clip);
    // Whether the vertical scroller is shown, as of the last reflectScrolledClipView: with a
    // vertical scroller, always unless it hides itself while the whole document fits.
    bool isVerticalScrollerShown() const { return verticalShown_; }
    // Position of the vertical knob: 0 with the top of the document in view, 1 at its bottom.
    double verticalScrollerValue() const { return verticalValue_; }
    // Part of the document's height in view, 0 to 1.
    double verticalKnobProportion() const { return verticalProportion_; }

private:
    void tile();

    std::shared_ptr<ClipView> clip_;
    BorderType borderType_ = BorderType::none;
    bool hasVerticalScroller_ = false;
    bool hasHorizontalScroller_ = false;
    bool autohidesScrollers_ = false;
    bool verticalShown_ = false;
    double verticalValue_ = 0;
    double verticalProportion_ = 1;
};

// Lays text out within a width; with widthTracksTextView that width is the text view's.
class TextContainer {
public:
    bool widthTracksTextView() const { return widthTracksTextView_; }
    void setWidthTracksTextView(bool on) { widthTracksTextView_ = on; }
    Size containerSize() const { return size_; }
    void setContainerSize(Size size) { size_ = size; }

private:
    bool widthTracksTextView_ = true;
    Size size_;
};

class TextView : public View {
public:
    explicit TextView(Rect frame = {});

    void setFrame(const Rect& frame) override;

    bool isEditable() const { return editable_; }
    void setEditable(bool on) { editable_ = on; }
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool on) { selectable_ = on; }
    bool isVerticallyResizable() const { return verticallyResizable_; }
    void setVerticallyResizable(bool on) { verticallyResizable_ = on; }
    bool isHorizontallyResizable() const { return horizontallyResizable_; }
    void setHorizontallyResizable(bool on) { horizontallyResizable_ = on; }
    const Font& font() const { return font_; }
    void setFont(Font font) { font_ = font; }
    const std::string& string() const { return text_; }
    void setString(std::string text) { text_ = std::move(text); }
    TextContainer& textContainer() { return container_; }
    const TextContainer& textContainer() const { return container_; }

private:
    std::string text_;
    Font font_;
    TextContainer container_;
    bool editable_ = true;
    bool selectable_ = true;
    bool verticallyResizable_ = true;
    bool horizontallyResizable_ = false;
};

}  // namespace qvui
