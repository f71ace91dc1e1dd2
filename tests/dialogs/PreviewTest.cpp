#include <gtest/gtest.h>

#include "ScriptedDialogs.h"
#include "dialogs/Preview.h"
#include "input/DelimitedText.h"
#include "input/PreviewText.h"
#include "platform/dialogs/ScrollView.h"

using qvtest::IsolatedLanguage;
using qvtest::ScriptedDialogs;

namespace {

QVRecordTable tableWithRecords(size_t n) {
    std::string text = "Naam,Nummer\n";
    for (size_t r = 1; r <= n; ++r) text += "Klant " + std::to_string(r) + "," + std::to_string(r * 10) + "\n";
    auto table = QVParseCSV(text);
    EXPECT_TRUE(table);
    return *table;
}

std::string recordText(size_t r) {
    return "Record " + std::to_string(r) + "\nNaam: Klant " + std::to_string(r) +
           "\nNummer: " + std::to_string(r * 10) + "\n\n";
}

}  // namespace

TEST(Preview, ShowsAtMostFiveRecordsAndSaysHowManyThereAre) {
    IsolatedLanguage dutch;
    for (size_t n : {3u, 5u, 12u}) {
        SCOPED_TRACE(n);
        ScriptedDialogs dialogs(R"([{"button": "Verder"}])");
        EXPECT_TRUE(showPreview(tableWithRecords(n)));
        dialogs.expectScriptUsedUp();
        auto line = dialogs.lines().at(0);
        size_t shown = std::min<size_t>(n, 5);
        std::string expected;
        for (size_t r = 1; r <= shown; ++r) expected += recordText(r);
        EXPECT_EQ(line["message"], "Controleer de ingelezen gegevens");
        EXPECT_EQ(line["informative"], std::to_string(n) + " records gevonden. De eerste " + std::to_string(shown) +
                                           " worden hieronder getoond; controleer de kolommen en waarden. "
                                           "Dit is geen PDF-voorbeeld.");
        EXPECT_EQ(line["text"], expected);
        EXPECT_EQ(line["buttons"], nlohmann::json({"Verder", "Annuleren"}));
        EXPECT_EQ(line["response"], 1000);
    }
}

TEST(Preview, ShowsValuesExactlyAsParsed) {
    IsolatedLanguage dutch;
    auto table = QVParseCSV("Naam,Adres,Leeg\n\"Jansen, P.\",\"Regel 1\nRegel 2\",\n");
    ASSERT_TRUE(table);
    EXPECT_EQ(QVPreviewText(*table, 1), "Record 1\nNaam: Jansen, P.\nAdres: Regel 1\nRegel 2\nLeeg: \n\n");
}

TEST(Preview, AnythingButVerderStops) {
    IsolatedLanguage dutch;
    ScriptedDialogs dialogs(R"([{"button": "Annuleren"}, {"cancel": true}])");
    EXPECT_FALSE(showPreview(tableWithRecords(2)));
    EXPECT_FALSE(showPreview(tableWithRecords(2)));
    EXPECT_FALSE(showPreview(tableWithRecords(2)));  // script ran out: cancelled
}

TEST(Preview, ReadOnlyWrappingTextInABorderedScrollView) {
    IsolatedLanguage dutch;
    bool inspected = false;
    ScriptedDialogs dialogs(R"([{}])", [&](qvui::Alert& alert) {
        auto* scroll = dynamic_cast<qvui::ScrollView*>(alert.accessoryView().get());
        ASSERT_TRUE(scroll);
        EXPECT_EQ(scroll->frame(), (qvui::Rect{0, 0, 480, 250}));
        EXPECT_TRUE(scroll->hasVerticalScroller());
        EXPECT_EQ(scroll->borderType(), qvui::BorderType::bezel);
        auto* text = dynamic_cast<qvui::TextView*>(scroll->documentView());
        ASSERT_TRUE(text);
        EXPECT_EQ(text->frame().size(), scroll->contentSize());
        EXPECT_FALSE(text->isEditable());
        EXPECT_TRUE(text->isSelectable());
        EXPECT_TRUE(text->isVerticallyResizable());
        EXPECT_TRUE(text->autoresizingMask() & qvui::ViewWidthSizable);
        EXPECT_TRUE(text->textContainer().widthTracksTextView());
        EXPECT_EQ(text->font(), qvui::Font::systemFontOfSize(13));
        inspected = true;
    });
    EXPECT_TRUE(showPreview(tableWithRecords(1)));
    EXPECT_TRUE(inspected);
}

TEST(Preview, FollowsTheLanguageInForce) {
    IsolatedLanguage english("en");
    ScriptedDialogs dialogs(R"([{}])");
    EXPECT_TRUE(showPreview(tableWithRecords(7)));
    auto line = dialogs.lines().at(0);
    EXPECT_EQ(line["informative"],
              "7 records found. The first 5 are shown below; check the columns and values. "
              "This is not a PDF preview.");
    EXPECT_NE(line["message"], "Controleer de ingelezen gegevens");
    EXPECT_EQ(line["buttons"].size(), 2u);
    EXPECT_NE(line["buttons"][0], "Verder");
}
