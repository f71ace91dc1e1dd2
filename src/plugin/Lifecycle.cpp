#include "plugin/Lifecycle.h"

#include <array>

#include "plugin/About.h"
#include "plugin/ExceptionFrame.h"
#include "plugin/PluginState.h"
#include "localization/LanguageCommand.h"
#include "localization/MenuTitles.h"
#include "localization/Text.h"
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

template <typename Proc>
Proc view(unsigned index) {
    return qvhft::entry<Proc>(gAcroViewHFT, index);
}

template <typename Routine>
QVHostCallback makeCallback(Routine routine) {
    return qvhft::entry<qvhft::CallbackCreateProc>(gCoreHFT, qvhft::kCallbackCreate)(
        gExtensionID, reinterpret_cast<QVHFTEntry>(routine));
}

}  // namespace

QVHostBool QVExport() { return true; }

QVHostBool QVImport() { return true; }

QVHostBool QVInit() {
    QVSetMenuTitlesUpdater(QVSetMenuItemTitles);

    QVHostMenubar bar = view<qvhft::GetMenubarProc>(qvhft::kGetMenubar)();
    if (!bar) return false;

    QVHostMenu menu = nullptr;
    bool released = false;
    try {
        qvhost::_miExceptionPushPop frame;
        menu = view<qvhft::MenuNewProc>(qvhft::kMenuNew)("Quorvel", "Quorvel:Menu", gExtensionID);
        view<qvhft::MenubarAddMenuProc>(qvhft::kMenubarAddMenu)(bar, menu, qvhft::kAppendPosition);
        for (const ItemSpec& spec : items()) {
            QVHostMenuItem item = view<qvhft::MenuItemNewProc>(qvhft::kMenuItemNew)(
                spec.provisionalTitle, spec.name, nullptr, 1, 0, 0, nullptr, gExtensionID);
            *spec.handle = item;
            view<qvhft::MenuItemSetProcProc>(qvhft::kMenuItemSetExecuteProc)(item, makeCallback(spec.execute),
                                                                           nullptr);
            view<qvhft::MenuItemSetProcProc>(qvhft::kMenuItemSetComputeEnabledProc)(item, makeCallback(QVEnabled),
                                                                                  nullptr);
            view<qvhft::MenuAddMenuItemProc>(qvhft::kMenuAddMenuItem)(menu, item, qvhft::kAppendPosition);
        }
        QVUpdateMenuTitles();
        view<qvhft::MenuReleaseProc>(qvhft::kMenuRelease)(menu);
        released = true;
    } catch (const qvhost::_miExceptionInfo&) {
        // The frame is already popped; the menu stays wherever the host put it.
        if (menu && !released) view<qvhft::MenuReleaseProc>(qvhft::kMenuRelease)(menu);
        return false;
    }
    return true;
}

QVHostBool QVUnload() {
    for (const ItemSpec& spec : items()) {
        if (*spec.handle) view<qvhft::MenuItemRemoveProc>(qvhft::kMenuItemRemove)(*spec.handle);
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
        view<qvhft::MenuItemSetTitleProc>(qvhft::kMenuItemSetTitle)(*spec.handle, QVText(spec.titleKey).c_str());
    }
}
