// What a cell means for a check box, a radio group or a choice field.

#include <gtest/gtest.h>

#include "input/FieldValues.h"
#include "support/DutchHome.h"

namespace {

QVFieldChoices box(std::vector<std::string> states) {
    QVFieldChoices c;
    c.kind = QVWidgetKind::CheckBox;
    c.onStates = std::move(states);
    return c;
}

QVFieldChoices choice(QVWidgetKind kind, bool editable = false, bool multi = false) {
    QVFieldChoices c;
    c.kind = kind;
    c.options = {{"NL", "Nederland"}, {"BE", "België"}, {"DE", "DE"}};
    c.editable = editable;
    c.multiSelect = multi;
    return c;
}

class FieldValues : public qvtest::DutchHomeTest {};

}  // namespace

TEST_F(FieldValues, ACheckBoxTakesTheWordsForOnAndOffInAnyCaseAndItsOwnName) {
    const QVFieldChoices c = box({"Gehuwd"});
    for (const char* off : {"", "  ", "0", "nee", "N", "no", "FALSE", "onwaar", "Uit", "off", " nee "})
        EXPECT_EQ(QVButtonStateForCell(c, off), "Off") << off;
    for (const char* on :
         {"1", "ja", "J", "Yes", "y", "true", "WAAR", "x", "aan", "On", "\u2713", "Gehuwd", "gehuwd", " ja"})
        EXPECT_EQ(QVButtonStateForCell(c, on), "Gehuwd") << on;
    for (const char* bad : {"misschien", "2", "ja!", "j a"}) EXPECT_FALSE(QVButtonStateForCell(c, bad)) << bad;

    // A form's own state name wins over the words: a box whose on-state is called "0".
    EXPECT_EQ(QVButtonStateForCell(box({"0"}), "0"), "0");
    // A box with nothing to show when on can only be off.
    EXPECT_EQ(QVButtonStateForCell(box({}), "nee"), "Off");
    EXPECT_FALSE(QVButtonStateForCell(box({}), "ja"));
    EXPECT_EQ(QVAcceptedCells(box({})), "uit: (leeg), 0, nee, n, no, false, onwaar, uit, off");
}

TEST_F(FieldValues, ARadioGroupTakesItsStatesAndLabelsOnly) {
    QVFieldChoices c = box({"0", "1", "2"});
    c.kind = QVWidgetKind::RadioButton;
    c.labels = {{"Rood", "0"}, {"Groen", "1"}, {"Blauw", "2"}};
    EXPECT_EQ(QVButtonStateForCell(c, "1"), "1");
    EXPECT_EQ(QVButtonStateForCell(c, "Blauw"), "2");
    EXPECT_EQ(QVButtonStateForCell(c, ""), "Off");
    EXPECT_FALSE(QVButtonStateForCell(c, "ja")) << "yes means nothing among three";
    EXPECT_FALSE(QVButtonStateForCell(c, "nee"));
    EXPECT_FALSE(QVButtonStateForCell(c, "Paars"));
    EXPECT_EQ(QVAcceptedCells(c), "(leeg), 0, 1, 2, Rood, Groen, Blauw");

    // A check box whose widgets have different on-states behaves the same way.
    EXPECT_FALSE(QVButtonStateForCell(box({"A", "B"}), "ja"));
    EXPECT_EQ(QVButtonStateForCell(box({"A", "B"}), "B"), "B");
}

TEST_F(FieldValues, ChoicesTakeAnOptionByExportValueOrShownText) {
    const QVFieldChoices combo = choice(QVWidgetKind::ComboBox);
    EXPECT_EQ(QVChoiceValuesForCell(combo, "NL"), std::vector<std::string>{"NL"});
    EXPECT_EQ(QVChoiceValuesForCell(combo, "België"), std::vector<std::string>{"BE"});
    EXPECT_EQ(QVChoiceValuesForCell(combo, " Nederland "), std::vector<std::string>{"NL"});
    EXPECT_EQ(QVChoiceValuesForCell(combo, ""), std::vector<std::string>{});
    EXPECT_FALSE(QVChoiceValuesForCell(combo, "Frankrijk"));
    EXPECT_FALSE(QVChoiceValuesForCell(combo, "NL;BE")) << "one option only";

    // An editable combo box takes any text, and an option's shown text as its export value.
    const QVFieldChoices editable = choice(QVWidgetKind::ComboBox, true);
    EXPECT_EQ(QVChoiceValuesForCell(editable, "Frankrijk"), std::vector<std::string>{"Frankrijk"});
    EXPECT_EQ(QVChoiceValuesForCell(editable, "België"), std::vector<std::string>{"BE"});

    const QVFieldChoices multi = choice(QVWidgetKind::ListBox, false, true);
    EXPECT_EQ(QVChoiceValuesForCell(multi, "Nederland; DE;;NL"), (std::vector<std::string>{"NL", "DE"}));
    EXPECT_FALSE(QVChoiceValuesForCell(multi, "NL;Frankrijk"));
    EXPECT_EQ(QVAcceptedCells(multi), "(leeg), NL, Nederland, BE, België, DE (meerdere gescheiden door ';')");
}
