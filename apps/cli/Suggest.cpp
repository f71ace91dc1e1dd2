#include "Suggest.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "localization/Text.h"
#include "platform/Format.h"

size_t QVEditDistance(std::string_view a, std::string_view b, size_t limit) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) return limit + 1;
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return std::min(row[b.size()], limit + 1);
}

namespace {

// The known name closest to `typed`, if one is within two edits and `typed` is not itself known.
std::optional<std::string> closest(std::string_view typed, const std::vector<std::string>& known) {
    if (std::find(known.begin(), known.end(), typed) != known.end()) return std::nullopt;
    constexpr size_t kLimit = 2;
    std::optional<std::string> best;
    size_t bestDistance = kLimit + 1;
    for (const std::string& name : known) {
        const size_t d = QVEditDistance(typed, name, kLimit);
        if (d < bestDistance) {
            bestDistance = d;
            best = name;
        }
    }
    return best;
}

std::vector<std::string> longOptions(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options())
        for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    return names;
}

}  // namespace

std::string QVTypoHint(const CLI::App& app, int argc, const char* const* argv) {
    if (argc < 2) return {};
    std::vector<std::string> commands;
    const CLI::App* command = nullptr;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        commands.push_back(sub->get_name());
        if (sub->get_name() == argv[1]) command = sub;
    }
    if (!command) {
        std::optional<std::string> meant = closest(argv[1], commands);
        return meant ? QVFormat(QVText("Bedoelde je %@?"), {*meant}) : std::string();
    }
    const std::vector<std::string> options = longOptions(*command);
    for (int i = 2; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word.rfind("--", 0) != 0) continue;
        word = word.substr(0, word.find('='));
        if (std::optional<std::string> meant = closest(word, options))
            return QVFormat(QVText("Bedoelde je %@?"), {*meant});
    }
    return {};
}
