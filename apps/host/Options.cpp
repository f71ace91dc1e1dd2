#include "Options.h"

#include <cstdlib>

#include "HostText.h"
#include "platform/Format.h"

namespace qvhostapp {

std::optional<HostOptions> parseHostOptions(const std::vector<std::string>& arguments, QVError* error) {
    HostOptions options;
    auto fail = [&](std::string message) -> std::optional<HostOptions> {
        QVFail(error, std::move(message));
        return std::nullopt;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        // Every other option takes a value, as "--name value" or "--name=value".
        std::string name = argument;
        std::optional<std::string> value;
        if (size_t equals = argument.find('='); argument.starts_with("--") && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        if (name != "--plugins" && name != "--invoke" && name != "--ui" && name != "--transcript" &&
            name != "--screenshot")
            return fail(QVFormat(QVHostText("Onbekende optie: %@"), {argument}));
        if (!value) {
            if (i + 1 >= arguments.size()) return fail(QVFormat(QVHostText("%@ mist een waarde."), {name}));
            value = arguments[++i];
        }
        if (value->empty()) return fail(QVFormat(QVHostText("%@ mist een waarde."), {name}));

        if (name == "--plugins") {
            options.pluginFolders.emplace_back(*value);
        } else if (name == "--invoke") {
            options.invoke = *value;
        } else if (name == "--transcript") {
            options.transcript = *value;
        } else if (name == "--screenshot") {
            options.screenshot = *value;
        } else if (*value == "terminal" || *value == "qt") {
            options.ui = *value == "qt" ? HostUi::qt : HostUi::terminal;
            options.script.reset();
        } else if (value->starts_with("scripted:") && value->size() > 9) {
            options.ui = HostUi::scripted;
            options.script = value->substr(9);
        } else {
            return fail(
                QVFormat(QVHostText("Onbekende waarde voor --ui: %@ (qt, terminal of scripted:BESTAND)"), {*value}));
        }
    }
    return options;
}

std::string hostUsage() {
    return QVHostText(
        "Gebruik: quorvel-host [--plugins MAP]... [--invoke NAAM] [--ui qt|terminal|scripted:BESTAND] "
        "[--transcript BESTAND]\n"
        "\n"
        "  --plugins MAP         laad de plug-ins (*.acroplugin) uit deze map (mag vaker)\n"
        "  --invoke NAAM         voer één menu-onderdeel uit, bijvoorbeeld Quorvel:Merge, en stop\n"
        "  --ui qt               een venster met menubalk en dialoogvensters (standaard met een beeldscherm)\n"
        "  --ui terminal         menubalk en dialogen in de terminal (standaard zonder beeldscherm)\n"
        "  --ui scripted:BESTAND beantwoord elke dialoog uit een script (JSON)\n"
        "  --transcript BESTAND  schrijf elke getoonde dialoog en elk menu naar een nieuw bestand (JSON Lines)\n");
}

std::vector<std::filesystem::path> defaultPluginFolders(const std::filesystem::path& programFolder,
                                                        const std::string& installedRelative) {
    std::vector<std::filesystem::path> folders = {programFolder / "plugins"};
    if (!installedRelative.empty()) folders.push_back((programFolder / installedRelative).lexically_normal());
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (data && data[0] == '/')
        folders.push_back(std::filesystem::path(data) / "quorvel" / "plugins");
    else if (home && home[0] == '/')
        folders.push_back(std::filesystem::path(home) / ".local/share/quorvel/plugins");
    return folders;
}

}  // namespace qvhostapp
