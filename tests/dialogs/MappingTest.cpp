#include <gtest/gtest.h>

#include "ScriptedDialogs.h"
#include "dialogs/MappingDialog.h"
#include "dialogs/MappingView.h"

using qvtest::IsolatedLanguage;
using qvtest::ScriptedDialogs;
using qvui::Rect;

namespace {

std::vector<std::string> names(const char* stem, size_t n) {
    std::vector<std::string> out;
    for (size_t i = 1; i <= n; ++i) out.push_back(stem + std::to_string(i));
    return out;
}

std::vector<qvui::Label*> labels(qvui::View* root) { return qvui::viewsOfType<qvui::Label>(root); }

}  // namespace

TEST(MappingView, ProposesOnlyExactlyEqualColumns) {
    IsolatedLanguage dutch;
    auto view =
        QVMappingView::initWithFields({"Naam", "Plaats", "Straat ", "Straat"}, {"Naam", "plaats", "Straat", "Naam"});
    ASSERT_EQ(view->popups().size(), 4u);
    EXPECT_EQ(view->popups()[0]->indexOfSelectedItem(), 1);  // the first equal column wins
    EXPECT_EQ(view->popups()[1]->indexOfSelectedItem(), 0);  // case differs
    EXPECT_EQ(view->popups()[2]->indexOfSelectedItem(), 0);  // trailing space differs
    EXPECT_EQ(view->popups()[3]->indexOfSelectedItem(), 3);
    EXPECT_EQ(view->popups()[0]->itemTitles(),
              (std::vector<std::string>{"Kies een kolom...", "Naam", "plaats", "Straat", "Naam"}));
    EXPECT_EQ(view->popups()[1]->accessibilityLabel(), "CSV-kolom voor PDF-veld Plaats");

    std::optional<std::string> missing = "stale";
    EXPECT_FALSE(view->mappingWithMissingField(&missing));
    EXPECT_EQ(missing, "Plaats");  // the first field without a column, in field order
    EXPECT_FALSE(view->mappingWithMissingField(nullptr));

    view->popups()[1]->selectItemAtIndex(2);
    view->popups()[2]->selectItemAtIndex(3);
    auto mapping = view->mappingWithMissingField(&missing);
    ASSERT_TRUE(mapping);
    EXPECT_FALSE(missing);
    EXPECT_EQ(*mapping,
              (QVFieldMapping{{"Naam", "Naam"}, {"Plaats", "plaats"}, {"Straat ", "Straat"}, {"Straat", "Straat"}}));

    view->popups()[3]->selectItemAtIndex(-1);  // nothing selected counts as no column
    EXPECT_FALSE(view->mappingWithMissingField(&missing));
    EXPECT_EQ(missing, "Straat");
}

TEST(MappingView, ChoicesAreReadByPositionSoEqualTitlesStaySeparate) {
    IsolatedLanguage dutch;
    auto view = QVMappingView::initWithFields({"A", "B"}, {"Kies een kolom...", "X", "X"});
    EXPECT_EQ(view->popups()[0]->numberOfItems(), 4);
    view->popups()[0]->selectItemAtIndex(1);
    view->popups()[1]->selectItemAtIndex(3);
    auto mapping = view->mappingWithMissingField(nullptr);
    ASSERT_TRUE(mapping);
    EXPECT_EQ(mapping->at("A"), "Kies een kolom...");
    EXPECT_EQ(mapping->at("B"), "X");
}

TEST(MappingView, RowsHeadersAndScrollAreaAreLaidOutFromTheTop) {
    IsolatedLanguage dutch;
    auto three = QVMappingView::initWithFields(names("Veld", 3), {"Veld2"});
    EXPECT_EQ(three->frame(), (Rect{0, 0, 570, 144}));
    EXPECT_EQ(three->scrollView()->frame(), (Rect{0, 0, 570, 114}));
    EXPECT_EQ(three->scrollView()->documentView()->frame(), (Rect{0, 0, 550, 114}));
    EXPECT_EQ(three->scrollView()->borderType(), qvui::BorderType::bezel);
    EXPECT_TRUE(three->scrollView()->hasVerticalScroller());
    EXPECT_FALSE(three->scrollView()->hasHorizontalScroller());
    EXPECT_TRUE(three->scrollView()->autohidesScrollers());
    EXPECT_EQ(three->scrollView()->contentView()->bounds().maxY(), 114);  // the first row in view

    auto all = labels(three.get());
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0]->stringValue(), "PDF-veld");
    EXPECT_EQ(all[0]->frame(), (Rect{8, 121, 230, 18}));
    EXPECT_EQ(all[0]->font(), qvui::Font::boldSystemFontOfSize(12));
    EXPECT_EQ(all[1]->stringValue(), "CSV-kolom");
    EXPECT_EQ(all[1]->frame(), (Rect{250, 121, 290, 18}));
    EXPECT_EQ(all[1]->font(), qvui::Font::boldSystemFontOfSize(12));
    // Row 0 is the top row.
    EXPECT_EQ(all[2]->stringValue(), "Veld1");
    EXPECT_EQ(all[2]->frame(), (Rect{8, 76 + 9, 230, 20}));
    EXPECT_EQ(all[2]->lineBreakMode(), qvui::LineBreakMode::truncatingMiddle);
    EXPECT_EQ(all[2]->toolTip(), "Veld1");
    EXPECT_EQ(all[4]->frame(), (Rect{8, 0 + 9, 230, 20}));
    EXPECT_EQ(three->popups()[0]->frame(), (Rect{250, 76 + 5, 290, 26}));
    EXPECT_EQ(three->popups()[2]->frame(), (Rect{250, 5, 290, 26}));
    EXPECT_FALSE(three->popups()[0]->pullsDown());
    EXPECT_EQ(three->popups()[1]->indexOfSelectedItem(), 1);

    auto twenty = QVMappingView::initWithFields(names("Veld", 20), {"Kolom"});
    EXPECT_EQ(twenty->frame(), (Rect{0, 0, 570, 334}));
    EXPECT_EQ(twenty->scrollView()->frame(), (Rect{0, 0, 570, 304}));
    EXPECT_EQ(twenty->scrollView()->documentView()->frame(), (Rect{0, 0, 550, 760}));
    EXPECT_EQ(twenty->popups()[0]->frame().y, 760 - 38 + 5);
    EXPECT_EQ(twenty->popups()[19]->frame().y, 5);
    // Opened at the first row: the clip view shows the top of the document.
    Rect clip = twenty->scrollView()->contentView()->bounds();
    EXPECT_EQ(clip.maxY(), 760);
    EXPECT_TRUE(twenty->scrollView()->isVerticalScrollerShown());
    EXPECT_EQ(twenty->scrollView()->verticalScrollerValue(), 0);

    auto none = QVMappingView::initWithFields({}, {"Kolom"});
    EXPECT_EQ(none->frame().height, 38 + 30);
    EXPECT_TRUE(none->mappingWithMissingField(nullptr));
}

TEST(MappingDialog, AsksAgainWithEveryChoiceKeptUntilEachFieldHasAColumn) {
    IsolatedLanguage dutch;
    // First "Verder" changes Naam to Straat but leaves Plaats open; the reminder is dismissed;
    // the second showing must still hold Straat for Naam.
    ScriptedDialogs dialogs(R"([
        {"button": "Verder", "popups": [3, null]},
        {},
        {"button": "Verder", "popups": [null, 2]}
    ])");
    auto mapping = chooseMapping({"Naam", "Plaats"}, {"Naam", "plaats", "Straat"});
    dialogs.expectScriptUsedUp();
    ASSERT_TRUE(mapping);
    EXPECT_EQ(*mapping, (QVFieldMapping{{"Naam", "Straat"}, {"Plaats", "plaats"}}));

    auto lines = dialogs.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["message"], "Koppel PDF-velden aan CSV-kolommen");
    EXPECT_EQ(lines[0]["informative"],
              "Controleer de voorgestelde koppelingen en kies voor elk PDF-veld een kolom. "
              "Scroll voor meer velden.");
    EXPECT_EQ(lines[0]["buttons"], nlohmann::json({"Verder", "Annuleren"}));
    EXPECT_EQ(lines[0]["labels"], nlohmann::json({"PDF-veld", "CSV-kolom", "Naam", "Plaats"}));
    EXPECT_EQ(lines[0]["popups"][0]["selected"], 1);
    EXPECT_EQ(lines[0]["popups"][1]["selected"], 0);
    EXPECT_EQ(lines[0]["popups"][1]["label"], "CSV-kolom voor PDF-veld Plaats");
    EXPECT_EQ(lines[1]["message"], "Kies eerst een CSV-kolom.");
    EXPECT_EQ(lines[1]["informative"], "Er ontbreekt een koppeling voor PDF-veld 'Plaats'.");
    EXPECT_EQ(lines[1]["buttons"].size(), 1u);
    EXPECT_EQ(lines[2]["message"], lines[0]["message"]);
    EXPECT_EQ(lines[2]["popups"][0]["selected"], 3);
    EXPECT_EQ(lines[2]["popups"][1]["selected"], 0);
}

TEST(MappingDialog, CancelGivesNothingEvenAfterTheReminder) {
    IsolatedLanguage dutch;
    ScriptedDialogs dialogs(R"([{"button": 1}, {}, {"button": "Annuleren"}, {"cancel": true}])");
    EXPECT_FALSE(chooseMapping({"Plaats"}, {"Naam"}));
    EXPECT_EQ(dialogs.lines().size(), 3u);
    EXPECT_FALSE(chooseMapping({"Naam"}, {"Naam"}));  // closed without a button
    dialogs.expectScriptUsedUp();
}

TEST(MappingDialog, FieldsMayShareAColumn) {
    IsolatedLanguage dutch;
    ScriptedDialogs dialogs(R"([{"popups": [1, 1, 1]}])");
    auto mapping = chooseMapping({"Naam", "Naam kopie", "Aanhef"}, {"Naam", "Plaats"});
    ASSERT_TRUE(mapping);
    EXPECT_EQ(mapping->size(), 3u);
    for (const auto& [field, column] : *mapping) EXPECT_EQ(column, "Naam") << field;
}
