#include "localization/MenuTitles.h"

namespace {

std::function<void()>& updater() {
    static std::function<void()> installed;
    return installed;
}

}  // namespace

void QVSetMenuTitlesUpdater(std::function<void()> routine) { updater() = std::move(routine); }

void QVUpdateMenuTitles() {
    if (updater()) updater()();
}
