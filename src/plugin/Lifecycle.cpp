#include "plugin/Lifecycle.h"

#include <array>
#include <string_view>

#include "localization/LanguageCommand.h"
#include "localization/MenuTitles.h"
#include "localization/Text.h"
#include "plugin/About.h"
#include "plugin/ExceptionFrame.h"
#include "plugin/PluginState.h"
#include "workflow/Command.h"

namespace {

struct ItemSpec {
    QVHostMenuItem* handle;
    const char* provisionalTitle;
    const char* name;
    const char* titleKey;
    QVMenuExecuteProc execute;
};

// Title keys are the Dutch texts; the provisional titles show only until the first retitling.
const std::array<ItemSpec, 3>& items() {
    static const std::array<ItemSpec, 3> list = {{
        {&qvhost::menuItem, "CSV merge...", "Quorvel:Merge", "CSV samenvoegen...", QVCommand},
        {&qvhost::languageItem, "Language...", "Quorvel:Language", "Taal...", QVLanguageCommand},
        {&qvhost::aboutItem, "About...", "Quorvel:About", "About Quorvel\u2026", QVAboutCommand},
    }};
    return list;
}

// An entry of the "AcroView" table, as its own routine type.
template <typename Entry>
typename Entry::Proc view() {
    static_assert(std::string_view(Entry::table) == "AcroView");
    return qvhft::entry<Entry>(gAcroViewHFT);
}

template <typename Routine>
QVHostCallback makeCallback(Routine routine) {
    return qvhft::entry<qvhft::CallbackCreate>(gCoreHFT)(gExtensionID, reinterpret_cast<QVHFTEntry>(routine));
}

}  // namespace

QVHostBool QVExport() { return true; }

QVHostBool QVImport() { return true; }

QVHostBool QVInit() {
    QVSetMenuTitlesUpdater(QVSetMenuItemTitles);

    QVHostMenubar bar = view<qvhft::GetMenubar>()();
    if (!bar) return false;

    QVHostMenu menu = nullptr;
    bool released = false;
    try {
        qvhost::_miExceptionPushPop frame;
        menu = view<qvhft::MenuNew>()("Quorvel", "Quorvel:Menu", gExtensionID);
        view<qvhft::MenubarAddMenu>()(bar, menu, qvhft::kAppendPosition);
        for (const ItemSpec& spec : items()) {
            QVHostMenuItem item =
                view<qvhft::MenuItemNew>()(spec.provisionalTitle, spec.name, nullptr, 1, 0, 0, nullptr, gExtensionID);
            *spec.handle = item;
            view<qvhft::MenuItemSetExecuteProc>()(item, makeCallback(spec.execute), nullptr);
            view<qvhft::MenuItemSetComputeEnabledProc>()(item, makeCallback(QVEnabled), nullptr);
            view<qvhft::MenuAddMenuItem>()(menu, item, qvhft::kAppendPosition);
        }
        QVUpdateMenuTitles();
        view<qvhft::MenuRelease>()(menu);
        released = true;
    } catch (const qvhost::_miExceptionInfo&) {
        // The frame is already popped; the menu stays wherever the host put it.
        if (menu && !released) view<qvhft::MenuRelease>()(menu);
        return false;
    }
    return true;
}

QVHostBool QVUnload() {
    for (const ItemSpec& spec : items()) {
        if (*spec.handle) view<qvhft::MenuItemRemove>()(*spec.handle);
    }
    return true;
}

QVHostBool QVEnabled(void* /*clientData*/) { return true; }

void QVAboutCommand(void* /*clientData*/) { QVShowAbout(); }

void QVSetMenuItemTitles() {
    // An item that a host error kept from being made has no handle; it is skipped rather than
    // handing the host a null item.
    for (const ItemSpec& spec : items()) {
        if (!*spec.handle) continue;
        view<qvhft::MenuItemSetTitle>()(*spec.handle, QVText(spec.titleKey).c_str());
    }
}
