#pragma once
// The host's main window on the desktop: a menu bar with the host's own menu (Quit) followed by
// every menu the plug-ins added, and a short welcome text. Titles are read from the host's menu
// bar whenever a menu opens and after every command, so a language change shows at once.

#include <QMainWindow>

#include <string>
#include <utility>
#include <vector>

#include "Host.h"

class QAction;
class QLabel;
class QMenu;

namespace qvhostapp {

class HostWindow : public QMainWindow {
public:
    explicit HostWindow(Host& host);

    // Brings the plug-in menus, the host's own texts and the welcome text up to date.
    void refresh();

    // The action of the plug-in menu item with this language-independent name, or null.
    [[nodiscard]] QAction* actionForItem(const std::string& name) const;
    // The menu a plug-in added, by its language-independent name, or null.
    [[nodiscard]] QMenu* pluginMenu(const std::string& name) const;
    QAction* quitAction() const { return quit_; }

private:
    struct PluginMenu {
        QVHostMenuRec* menu = nullptr;
        QMenu* widget = nullptr;
        std::vector<std::pair<QVHostMenuItemRec*, QAction*>> items;
    };

    void syncMenu(PluginMenu& menu);
    void run(QVHostMenuItemRec* item);
    void updateWelcome();

    Host& host_;
    QMenu* fileMenu_ = nullptr;
    QAction* quit_ = nullptr;
    QLabel* welcome_ = nullptr;
    QLabel* about_ = nullptr;
    std::vector<PluginMenu> menus_;
};

}  // namespace qvhostapp
