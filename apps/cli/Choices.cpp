#include "Choices.h"

#include "engine/Engine.h"

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
