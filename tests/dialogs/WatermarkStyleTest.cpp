#include <gtest/gtest.h>

#include "ScriptedDialogs.h"
#include "dialogs/WatermarkStyle.h"
#include "platform/dialogs/Controls.h"

using qvtest::IsolatedLanguage;
using qvtest::ScriptedDialogs;
using qvui::Rect;

namespace {

const QVWatermarkStyle kUntouched = {7, 99.0, 0.01};

void expectStyle(const QVWatermarkStyle& style, uint64_t position, double size, double gray) {
    EXPECT_EQ(style.position, position);
    EXPECT_EQ(style.fontSize, size);
    EXPECT_EQ(style.gray, gray);
}

}  // namespace

TEST(WatermarkStyle, WritesTheChosenValues) {
    IsolatedLanguage dutch;
    ScriptedDialogs dialogs(R"([{"button": "Verder"}, {"popups": [2, 2, 2]}, {"popups": [1, 1, 1]}])");
    QVWatermarkStyle style = kUntouched;
    ASSERT_TRUE(chooseWatermarkStyle(style));
    expectStyle(style, 0, 11.0, 0.35);
    ASSERT_TRUE(chooseWatermarkStyle(style));
    expectStyle(style, 2, 22.0, 0.75);
    ASSERT_TRUE(chooseWatermarkStyle(style));
    expectStyle(style, 1, 16.0, 0.55);

    auto lines = dialogs.lines();
    EXPECT_EQ(lines[0]["message"], "Watermerk vormgeven");
    EXPECT_EQ(lines[0]["informative"],
              "Kies de positie, grootte en grijstint. Controleer de PDF op overlap met bestaande inhoud.");
    EXPECT_EQ(lines[0]["labels"], nlohmann::json({"Positie", "Tekstgrootte", "Grijstint"}));
    EXPECT_EQ(lines[0]["popups"][0]["items"], nlohmann::json({"Onderaan", "Midden", "Bovenaan"}));
    EXPECT_EQ(lines[0]["popups"][1]["items"], nlohmann::json({"Klein", "Middel", "Groot"}));
    EXPECT_EQ(lines[0]["popups"][2]["items"], nlohmann::json({"Donkergrijs", "Grijs", "Lichtgrijs"}));
    EXPECT_EQ(lines[0]["buttons"], nlohmann::json({"Verder", "Annuleren"}));
    // Never preselected from the record it was given.
    for (const auto& popup : lines[2]["popups"]) EXPECT_EQ(popup["selected"], 0);
}

TEST(WatermarkStyle, CancelOrAnInvalidChoiceLeavesTheRecord) {
    IsolatedLanguage dutch;
    ScriptedDialogs dialogs(R"([
        {"button": "Annuleren", "popups": [2, 2, 2]},
        {"cancel": true},
        {"button": "Verder", "popups": [2, -1, 2]},
        {}
    ])");
    QVWatermarkStyle style = kUntouched;
    EXPECT_FALSE(chooseWatermarkStyle(style));
    EXPECT_FALSE(chooseWatermarkStyle(style));
    EXPECT_FALSE(chooseWatermarkStyle(style));
    expectStyle(style, kUntouched.position, kUntouched.fontSize, kUntouched.gray);
    dialogs.expectScriptUsedUp();

    auto lines = dialogs.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3]["message"], "Ongeldige watermerkopmaak.");
    EXPECT_EQ(lines[3]["informative"], "");
    EXPECT_EQ(lines[3]["buttons"].size(), 1u);
}

TEST(WatermarkStyle, ThreeRowsOfLabelAndPopUp) {
    IsolatedLanguage dutch;
    ScriptedDialogs dialogs(R"([{}])", [](qvui::Alert& alert) {
        qvui::View* view = alert.accessoryView().get();
        ASSERT_TRUE(view);
        EXPECT_EQ(view->frame(), (Rect{0, 0, 380, 110}));
        auto labels = qvui::viewsOfType<qvui::Label>(view);
        auto popups = qvui::viewsOfType<qvui::PopUpButton>(view);
        ASSERT_EQ(labels.size(), 3u);
        ASSERT_EQ(popups.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            double base = 80 - 36.0 * static_cast<double>(i);
            EXPECT_EQ(labels[i]->frame(), (Rect{0, base + 3, 135, 20}));
            EXPECT_EQ(popups[i]->frame(), (Rect{140, base, 240, 26}));
            EXPECT_FALSE(popups[i]->pullsDown());
        }
    });
    QVWatermarkStyle style = kUntouched;
    EXPECT_TRUE(chooseWatermarkStyle(style));
}
