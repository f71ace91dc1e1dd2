#include "Choices.h"

#include <CLI/CLI.hpp>

#include "InputFiles.h"

#include "engine/Engine.h"
#include "localization/Text.h"
#include "platform/Format.h"

std::optional<uint16_t> QVSeparatorFor(const std::string& name, std::string_view text, bool* guessed) {
    if (guessed) *guessed = name == QVAutomaticSeparatorName;
    if (name == QVAutomaticSeparatorName) return QVGuessSeparator(text);
    const auto found = QVSeparatorsByName().find(name);
    if (found == QVSeparatorsByName().end()) return std::nullopt;
    return found->second;
}

std::vector<std::string> QVSeparatorChoiceNames() {
    std::vector<std::string> names = QVChoiceNames(QVSeparatorsByName());
    names.insert(names.begin(), QVAutomaticSeparatorName);
    return names;
}

std::string QVSeparatorName(uint16_t separator) {
    for (const auto& [name, unit] : QVSeparatorsByName())
        if (unit == separator) return name;
    return std::string();
}

std::string QVSeparatorHint(std::string_view text, uint16_t separator) {
    std::optional<QVRecordTable> table = QVParseDelimitedTextInPlace(text, separator);
    if (table && table->columnCount() > 1) return {};
    std::optional<uint16_t> other = QVAlternativeMultiColumnSeparator(text, separator);
    if (!other) return {};
    return QVFormat(QVText("Met --separator %@ wordt het gegevensbestand wel in meerdere kolommen gelezen."),
                    {QVSeparatorName(*other)});
}

const std::map<std::string, uint16_t>& QVSeparatorsByName() {
    static const std::map<std::string, uint16_t> names = {
        {"comma", QVSeparatorComma}, {"semicolon", QVSeparatorSemicolon}, {"tab", QVSeparatorTab}};
    return names;
}

const std::map<std::string, uint64_t>& QVOutputModesByName() {
    static const std::map<std::string, uint64_t> names = {{"separate", QVOutputModeSeparate},
                                                          {"combined", QVOutputModeCombined}};
    return names;
}

const std::map<std::string, uint64_t>& QVWatermarkPositionsByName() {
    static const std::map<std::string, uint64_t> names = {
        {"bottom", QVWatermarkPositionBottom}, {"middle", QVWatermarkPositionMiddle}, {"top", QVWatermarkPositionTop}};
    return names;
}

void QVAddSeparatorOption(CLI::App& command, std::string& separator) {
    command
        .add_option("--separator", separator,
                    QVText("Het scheidingsteken tussen de kolommen: auto (het gegevensbestand beslist), comma, "
                           "semicolon of tab. Bijvoorbeeld semicolon"))
        ->check(CLI::IsMember(QVSeparatorChoiceNames()))
        ->capture_default_str();
}

void QVAddEncodingOption(CLI::App& command, std::string& encoding) {
    command
        .add_option("--encoding", encoding,
                    QVText("De tekenset van het gegevensbestand: utf-8 of windows-1252. Bijvoorbeeld windows-1252"))
        ->check(CLI::IsMember(QVEncodingNames()))
        ->capture_default_str();
}
