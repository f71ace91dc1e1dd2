#include "qt/HostWindow.h"

#include <QAction>
#include <QBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include "HostText.h"
#include "MenuBarTerminal.h"
#include "platform/Format.h"
#include "qtui/QtText.h"

namespace qvhostapp {

using qvui::literalMnemonic;
using qvui::toQString;

namespace {

// A menu item's title as prose: without the dots that say "a dialog follows".
std::string withoutEllipsis(std::string title) {
    if (title.ends_with("..."))
        title.resize(title.size() - 3);
    else if (title.ends_with("\xE2\x80\xA6"))
        title.resize(title.size() - 3);
    return title;
}

}  // namespace

HostWindow::HostWindow(Host& host) : host_(host) {
    setWindowTitle(QStringLiteral("Quorvel"));
    setObjectName(QStringLiteral("hostWindow"));

    fileMenu_ = menuBar()->addMenu(QString());
    quit_ = fileMenu_->addAction(QString());
    quit_->setShortcut(QKeySequence::Quit);
    quit_->setMenuRole(QAction::QuitRole);
    connect(quit_, &QAction::triggered, this, &QWidget::close);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(48, 40, 48, 40);
    layout->setSpacing(14);
    auto* name = new QLabel(QStringLiteral("Quorvel"), central);
    name->setObjectName(QStringLiteral("name"));
    name->setTextFormat(Qt::PlainText);
    QFont big = name->font();
    big.setPixelSize(30);
    big.setBold(true);
    name->setFont(big);
    welcome_ = new QLabel(central);
    welcome_->setObjectName(QStringLiteral("welcome"));
    about_ = new QLabel(central);
    about_->setObjectName(QStringLiteral("about"));
    for (QLabel* text : {welcome_, about_}) {
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QFont f = text->font();
        f.setPixelSize(15);
        text->setFont(f);
    }
    layout->addStretch(1);
    layout->addWidget(name);
    layout->addWidget(welcome_);
    layout->addWidget(about_);
    layout->addStretch(2);
    setCentralWidget(central);
    resize(640, 400);

    refresh();
}

void HostWindow::refresh() {
    fileMenu_->setTitle(literalMnemonic(toQString(QVHostText("Bestand"))));
    quit_->setText(literalMnemonic(toQString(QVHostText("Afsluiten"))));

    QVHostMenubar bar = host_.menubar();
    std::vector<QVHostMenuRec*> shown = bar ? bar->menus : std::vector<QVHostMenuRec*>{};
    // Menus gone from the host's bar leave ours; new ones are added at the end, as the host adds them.
    for (auto it = menus_.begin(); it != menus_.end();) {
        if (std::find(shown.begin(), shown.end(), it->menu) == shown.end()) {
            menuBar()->removeAction(it->widget->menuAction());
            it->widget->deleteLater();
            it = menus_.erase(it);
        } else {
            ++it;
        }
    }
    for (QVHostMenuRec* menu : shown) {
        auto found = std::find_if(menus_.begin(), menus_.end(), [&](const PluginMenu& m) { return m.menu == menu; });
        if (found == menus_.end()) {
            PluginMenu added;
            added.menu = menu;
            added.widget = menuBar()->addMenu(QString());
            added.widget->setObjectName(toQString(menu->name));
            menus_.push_back(added);
            found = menus_.end() - 1;
            QMenu* widget = found->widget;
            connect(widget, &QMenu::aboutToShow, this, [this, widget] {
                for (PluginMenu& m : menus_)
                    if (m.widget == widget) syncMenu(m);
            });
        }
        syncMenu(*found);
    }
    updateWelcome();
}

void HostWindow::syncMenu(PluginMenu& menu) {
    menu.widget->setTitle(literalMnemonic(toQString(menu.menu->title)));
    bool same = menu.items.size() == menu.menu->items.size();
    for (size_t i = 0; same && i < menu.items.size(); ++i) same = menu.items[i].first == menu.menu->items[i];
    if (!same) {
        menu.widget->clear();
        menu.items.clear();
        for (QVHostMenuItemRec* item : menu.menu->items) {
            QAction* action = menu.widget->addAction(QString());
            action->setObjectName(toQString(item->name));
            // Queued: the command shows modal dialogs and may retitle this very action, which
            // must not happen while the action is still delivering its signal.
            connect(
                action, &QAction::triggered, this, [this, item] { run(item); }, Qt::QueuedConnection);
            menu.items.emplace_back(item, action);
        }
    }
    for (auto& [item, action] : menu.items) {
        action->setText(literalMnemonic(toQString(item->title)));
        action->setEnabled(host_.isEnabled(item));
    }
}

void HostWindow::run(QVHostMenuItemRec* item) {
    if (!item->menu || !host_.isEnabled(item)) return;
    host_.execute(item);
    recordMenubarInTranscript(host_);
    refresh();
}

void HostWindow::updateWelcome() {
    QVHostMenuItemRec* merge = host_.findItem("Quorvel:Merge");
    if (!merge || !merge->menu) {
        welcome_->setText(toQString(QVHostText("Er is geen plug-in geladen.")));
        about_->clear();
        about_->hide();
        return;
    }
    welcome_->setText(toQString(QVFormat(QVHostText("Kies in de menubalk %@ › %@ om een samenvoeging te starten."),
                                         {merge->menu->title, withoutEllipsis(merge->title)})));
    about_->setText(
        toQString(QVHostText("Quorvel vult een PDF-formulier in voor elke regel van een CSV-bestand en "
                             "bewaart de ingevulde formulieren als nieuwe PDF-bestanden.")));
    about_->show();
}

QAction* HostWindow::actionForItem(const std::string& name) const {
    for (const PluginMenu& menu : menus_)
        for (const auto& [item, action] : menu.items)
            if (item->name == name) return action;
    return nullptr;
}

QMenu* HostWindow::pluginMenu(const std::string& name) const {
    for (const PluginMenu& menu : menus_)
        if (menu.menu->name == name) return menu.widget;
    return nullptr;
}

}  // namespace qvhostapp
