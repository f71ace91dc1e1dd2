#pragma once
// The host's menu bar on a text terminal: pick a menu, then one of its items, which runs at
// once; the titles are read afresh every time, so a language change shows immediately.

#include <iosfwd>

#include "Host.h"

namespace qvhostapp {

class MenuBarTerminal {
public:
    MenuBarTerminal(Host& host, std::istream& in, std::ostream& out) : host_(host), in_(in), out_(out) {}
    // Runs until the user quits or the input ends.
    void run();

private:
    // The chosen menu's index, or none to quit.
    [[nodiscard]] bool chooseMenu(size_t& index);
    void chooseItem(QVHostMenuRec& menu);
    [[nodiscard]] bool readLine(std::string& line);

    Host& host_;
    std::istream& in_;
    std::ostream& out_;
};

// Adds one transcript line per menu of the menu bar: its title and its items' titles.
void recordMenubarInTranscript(Host& host);

}  // namespace qvhostapp
