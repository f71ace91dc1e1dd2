#include "platform/dialogs/Controls.h"

namespace qvui {

void PopUpButton::addItemsWithTitles(const std::vector<std::string>& titles) {
    for (const auto& t : titles) menu_.addItemWithTitle(t);
}

std::vector<std::string> PopUpButton::itemTitles() const {
    std::vector<std::string> titles;
    titles.reserve(menu_.items().size());
    for (const auto& item : menu_.items()) titles.push_back(item.title);
    return titles;
}

std::string PopUpButton::itemTitleAtIndex(int index) const {
    if (index < 0 || index >= numberOfItems()) return {};
    return menu_.items()[static_cast<size_t>(index)].title;
}

void PopUpButton::selectItemAtIndex(int index) { chosen_ = (index >= 0 && index < numberOfItems()) ? index : -1; }

int PopUpButton::indexOfSelectedItem() const {
    if (!chosen_) return numberOfItems() > 0 ? 0 : -1;
    return *chosen_;
}

}  // namespace qvui
