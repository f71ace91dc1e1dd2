#pragma once
// The controls a dialog's accessory view is made of: read-only labels, editable one-line text
// fields and pop-up lists. They only hold state; a dialog backend shows them and writes the
// user's answers back.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs/View.h"

namespace qvui {

// The desktop's user-interface font at a size; backends pick the actual face.
struct Font {
    double pointSize = 13;
    bool bold = false;

    static Font systemFontOfSize(double size) { return {size, false}; }
    static Font boldSystemFontOfSize(double size) { return {size, true}; }
    bool operator==(const Font&) const = default;
};

enum class LineBreakMode { wordWrapping, charWrapping, clipping, truncatingHead, truncatingTail, truncatingMiddle };

// A read-only line of text.
class Label : public View {
public:
    explicit Label(std::string text = {}) : text_(std::move(text)) {}
    static std::shared_ptr<Label> labelWithString(std::string text) { return std::make_shared<Label>(std::move(text)); }

    const std::string& stringValue() const { return text_; }
    void setStringValue(std::string text) { text_ = std::move(text); }
    const Font& font() const { return font_; }
    void setFont(Font font) { font_ = font; }
    LineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(LineBreakMode mode) { lineBreakMode_ = mode; }
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string tip) { toolTip_ = std::move(tip); }

private:
    std::string text_;
    Font font_;
    LineBreakMode lineBreakMode_ = LineBreakMode::clipping;
    std::string toolTip_;
};

// An editable one-line text field.
class TextField : public View {
public:
    explicit TextField(Rect frame = {}) : View(frame) {}

    const std::string& stringValue() const { return text_; }
    void setStringValue(std::string text) { text_ = std::move(text); }
    const Font& font() const { return font_; }
    void setFont(Font font) { font_ = font; }

private:
    std::string text_;
    Font font_;
};

struct MenuItem {
    explicit MenuItem(std::string title, std::string keyEquivalent = {})
        : title(std::move(title)), keyEquivalent(std::move(keyEquivalent)) {}
    std::string title;
    std::string keyEquivalent;
};

// The item list of a pop-up. Items are kept exactly as added: equal titles are separate items,
// and every selection is made and read by position.
class Menu {
public:
    void addItem(MenuItem item) { items_.push_back(std::move(item)); }
    void addItemWithTitle(std::string title) { items_.emplace_back(std::move(title)); }
    const std::vector<MenuItem>& items() const { return items_; }
    int numberOfItems() const { return static_cast<int>(items_.size()); }

private:
    std::vector<MenuItem> items_;
};

// A pop-up list (or, with pullsDown, a pull-down menu whose first item is its title).
class PopUpButton : public View {
public:
    explicit PopUpButton(Rect frame = {}, bool pullsDown = false) : View(frame), pullsDown_(pullsDown) {}

    bool pullsDown() const { return pullsDown_; }

    // Appends in order. Unlike some toolkits, an equal title never replaces an earlier item:
    // callers read the choice by position, and a merged list would shift every position.
    void addItemWithTitle(std::string title) { menu_.addItemWithTitle(std::move(title)); }
    void addItemsWithTitles(const std::vector<std::string>& titles);
    Menu& menu() { return menu_; }
    const Menu& menu() const { return menu_; }
    int numberOfItems() const { return menu_.numberOfItems(); }
    std::vector<std::string> itemTitles() const;
    // The title of item `index`, or empty when there is no such item.
    std::string itemTitleAtIndex(int index) const;

    // Selects item `index`; an index outside the list (such as -1) leaves nothing selected.
    void selectItemAtIndex(int index);
    // The selected item's index, or -1 when none is. Until something is selected explicitly,
    // the first item counts as selected, as a freshly filled pop-up shows it.
    int indexOfSelectedItem() const;
    std::string titleOfSelectedItem() const { return itemTitleAtIndex(indexOfSelectedItem()); }

    const std::string& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }

private:
    Menu menu_;
    bool pullsDown_;
    std::optional<int> chosen_;  // set by selectItemAtIndex; -1 for "nothing"
    std::string accessibilityLabel_;
};

}  // namespace qvui
