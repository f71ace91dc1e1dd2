#include "MenuBarTerminal.h"

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "HostText.h"
#include "platform/Format.h"
#include "platform/dialogs/Transcript.h"

namespace qvhostapp {

namespace {

// A 1-based choice among `count`, or 0 when `line` is not one.
size_t parseChoice(const std::string& line, size_t count) {
    if (line.empty() || line.size() > 9 || line.find_first_not_of("0123456789") != std::string::npos) return 0;
    size_t value = std::stoul(line);
    return value >= 1 && value <= count ? value : 0;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

void recordMenubarInTranscript(Host& host) {
    QVHostMenubar bar = host.menubar();
    if (!bar) return;
    for (const QVHostMenuRec* menu : bar->menus) {
        std::vector<std::string> titles;
        for (const QVHostMenuItemRec* item : menu->items) titles.push_back(item->title);
        qvui::recordMenuInTranscript(menu->title, titles);
    }
}

bool MenuBarTerminal::readLine(std::string& line) {
    out_.flush();
    if (!std::getline(in_, line)) return false;
    line = trimmed(line);
    return true;
}

bool MenuBarTerminal::chooseMenu(size_t& index) {
    QVHostMenubar bar = host_.menubar();
    for (;;) {
        size_t count = bar ? bar->menus.size() : 0;
        out_ << '\n' << QVHostText("Menubalk") << '\n';
        for (size_t i = 0; i < count; ++i) out_ << "  " << i + 1 << ". " << bar->menus[i]->title << '\n';
        if (count == 0) out_ << "  " << QVHostText("(geen menu's)") << '\n';
        out_ << QVFormat(QVHostText("Kies een menu (1-%lu, q = stoppen): "), {static_cast<unsigned long>(count)});
        std::string line;
        if (!readLine(line)) {
            out_ << '\n';
            return false;
        }
        if (line == "q" || line == "Q") return false;
        size_t choice = parseChoice(line, count);
        if (choice) {
            index = choice - 1;
            return true;
        }
        out_ << QVHostText("Die keuze bestaat niet.") << '\n';
    }
}

void MenuBarTerminal::chooseItem(QVHostMenuRec& menu) {
    for (;;) {
        out_ << '\n' << menu.title << '\n';
        std::vector<bool> enabled;
        for (size_t i = 0; i < menu.items.size(); ++i) {
            enabled.push_back(host_.isEnabled(menu.items[i]));
            out_ << "  " << i + 1 << ". " << menu.items[i]->title;
            if (!enabled.back()) out_ << ' ' << QVHostText("(niet beschikbaar)");
            out_ << '\n';
        }
        out_ << QVFormat(QVHostText("Kies een onderdeel (1-%lu, Enter = terug): "),
                         {static_cast<unsigned long>(menu.items.size())});
        std::string line;
        if (!readLine(line)) return;
        if (line.empty()) return;
        size_t choice = parseChoice(line, menu.items.size());
        if (!choice) {
            out_ << QVHostText("Die keuze bestaat niet.") << '\n';
            continue;
        }
        if (!enabled[choice - 1]) {
            out_ << QVHostText("Dit onderdeel is nu niet beschikbaar.") << '\n';
            continue;
        }
        host_.execute(menu.items[choice - 1]);
        recordMenubarInTranscript(host_);
        return;
    }
}

void MenuBarTerminal::run() {
    size_t index = 0;
    while (in_ && chooseMenu(index)) {
        QVHostMenubar bar = host_.menubar();
        if (!bar || index >= bar->menus.size()) continue;
        chooseItem(*bar->menus[index]);
    }
}

}  // namespace qvhostapp
