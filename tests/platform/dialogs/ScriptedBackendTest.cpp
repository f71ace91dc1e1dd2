#include <gtest/gtest.h>

#include "DialogSession.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Controls.h"
#include "platform/dialogs/OpenPanel.h"
#include "platform/dialogs/ScriptedBackend.h"
#include "platform/dialogs/ScrollView.h"
#include "support/TestSupport.h"

using namespace qvui;
using nlohmann::json;

using qvtest::script;

namespace {

std::string loadError(const std::string& text) {
    QVError error;
    EXPECT_FALSE(ScriptedBackend::fromJSON(text, &error)) << text;
    return error.message;
}

// A mapping-like alert: two header labels, then per row a label and a pop-up; one field.
struct FormAlert {
    Alert alert;
    std::shared_ptr<PopUpButton> first = std::make_shared<PopUpButton>();
    std::shared_ptr<PopUpButton> second = std::make_shared<PopUpButton>();
    std::shared_ptr<TextField> field = std::make_shared<TextField>();

    FormAlert() {
        auto view = std::make_shared<View>();
        view->addSubview(Label::labelWithString("PDF-veld"));
        view->addSubview(Label::labelWithString("CSV-kolom"));
        view->addSubview(Label::labelWithString("Naam"));
        first->addItemsWithTitles({"Kies een kolom...", "Naam", "Plaats"});
        first->selectItemAtIndex(1);
        first->setAccessibilityLabel("CSV-kolom voor PDF-veld Naam");
        view->addSubview(first);
        second->addItemsWithTitles({"a", "b"});
        view->addSubview(second);
        field->setStringValue("merge-{#}");
        view->addSubview(field);
        alert.setMessageText("Koppel PDF-velden aan CSV-kolommen");
        alert.setInformativeText("Controleer de voorgestelde koppelingen.");
        alert.setAccessoryView(view);
        alert.addButtonWithTitle("Verder");
        alert.addButtonWithTitle("Annuleren");
    }
};

}  // namespace

TEST(ScriptedBackend, AnswersControlsAndWritesTheTranscript) {
    qvtest::DialogSession session(script(R"([{"button": "Annuleren", "popups": [null, 1], "fields": ["F-{Naam}"]}])"));
    FormAlert form;
    form.alert.setAlertStyle(AlertStyle::warning);
    EXPECT_EQ(form.alert.runModal(), kAlertSecondButtonReturn);
    EXPECT_EQ(form.first->indexOfSelectedItem(), 1);
    EXPECT_EQ(form.second->indexOfSelectedItem(), 1);
    EXPECT_EQ(form.field->stringValue(), "F-{Naam}");

    json expected = {
        {"kind", "alert"},
        {"message", "Koppel PDF-velden aan CSV-kolommen"},
        {"informative", "Controleer de voorgestelde koppelingen."},
        {"style", "warning"},
        {"buttons", {"Verder", "Annuleren"}},
        {"labels", {"PDF-veld", "CSV-kolom", "Naam"}},
        {"popups",
         {{{"items", {"Kies een kolom...", "Naam", "Plaats"}},
           {"selected", 1},
           {"chosen", 1},
           {"label", "CSV-kolom voor PDF-veld Naam"}},
          {{"items", {"a", "b"}}, {"selected", 0}, {"chosen", 1}, {"label", nullptr}}}},
        {"fields", {{{"shown", "merge-{#}"}, {"chosen", "F-{Naam}"}}}},
        {"text", nullptr},
        {"response", 1001},
    };
    EXPECT_EQ(session.last(), expected);
}

TEST(ScriptedBackend, RecordsTheScrollText) {
    qvtest::DialogSession session(script(R"([{"button": 1}])"));
    Alert alert;
    auto scroll = std::make_shared<ScrollView>(Rect{0, 0, 480, 250});
    auto text = std::make_shared<TextView>(Rect{0, 0, 478, 248});
    text->setString("Record 1\nNaam: Jan\n\n");
    scroll->setDocumentView(text);
    alert.setAccessoryView(scroll);
    alert.runModal();
    EXPECT_EQ(session.last()["text"], "Record 1\nNaam: Jan\n\n");
    EXPECT_EQ(session.last()["style"], "informational");
}

TEST(ScriptedBackend, CancelDeselectAndRunningOut) {
    qvtest::DialogSession session(script(R"([{"cancel": true, "popups": [-1]}])"));
    FormAlert form;
    EXPECT_EQ(form.alert.runModal(), kAlertCancelledReturn);
    EXPECT_EQ(form.first->indexOfSelectedItem(), -1);
    // The script has run out: cancelled, and still recorded.
    EXPECT_EQ(form.alert.runModal(), kAlertCancelledReturn);
    OpenPanel panel;
    EXPECT_EQ(panel.runModal(), kPanelCancelResponse);
    auto lines = session.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["popups"][0]["chosen"], -1);
    EXPECT_EQ(lines[1]["response"], -1000);
    EXPECT_EQ(lines[2]["kind"], "open-panel");
    EXPECT_TRUE(lines[2]["path"].is_null());
    for (const auto& line : lines) EXPECT_FALSE(line.contains("problem"));
}

TEST(ScriptedBackend, AnswersThatDoNotFitCancelAndChangeNothing) {
    auto backend = script(R"([
        {"button": 3},
        {"button": "Verder!"},
        {"popups": [0, 0, 0], "button": 1},
        {"popups": [2, 5]},
        {"fields": ["a", "b"]},
        {"path": "/"}
    ])");
    qvtest::DialogSession session(backend);
    FormAlert form;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(form.alert.runModal(), kAlertCancelledReturn) << i;
    EXPECT_EQ(form.first->indexOfSelectedItem(), 1);  // {"popups": [2, 5]} was refused whole
    EXPECT_EQ(form.field->stringValue(), "merge-{#}");
    ASSERT_EQ(backend->problems().size(), 6u);
    EXPECT_EQ(backend->problems()[0],
              "Antwoord 1 van het dialoogscript: knop 3 bestaat niet; de melding heeft 2 knoppen.");
    EXPECT_EQ(backend->problems()[3], "Antwoord 4 van het dialoogscript: keuzelijst 2 heeft geen item 5.");
    auto lines = session.lines();
    EXPECT_EQ(lines[1]["problem"], "Antwoord 2 van het dialoogscript: er is geen knop met de titel 'Verder!'.");

    OpenPanel panel;
    EXPECT_EQ(panel.runModal(), kPanelCancelResponse);
    EXPECT_EQ(backend->answersLeft(), 0u);
}

TEST(ScriptedBackend, RefusesMalformedScripts) {
    EXPECT_NE(loadError("[{"), "");
    EXPECT_EQ(loadError(R"({"button": 1})"), "Het dialoogscript moet een JSON-lijst zijn.");
    EXPECT_EQ(loadError(R"([{}, {"buton": 1}])"), "Antwoord 2 van het dialoogscript: onbekend lid 'buton'.");
    EXPECT_EQ(loadError(R"([{"button": 0}])"),
              "Antwoord 1 van het dialoogscript: 'button' moet een knopnummer vanaf 1 of een knoptitel zijn.");
    EXPECT_NE(loadError(R"([{"button": 1.5}])"), "");
    EXPECT_NE(loadError(R"([{"popups": [-2]}])"), "");
    EXPECT_NE(loadError(R"([{"popups": 1}])"), "");
    EXPECT_NE(loadError(R"([{"fields": [3]}])"), "");
    EXPECT_NE(loadError(R"([{"cancel": 1}])"), "");
    EXPECT_NE(loadError(R"([{"path": "/", "button": 1}])"), "");
    EXPECT_NE(loadError(R"([{"cancel": true, "button": 1}])"), "");
    EXPECT_NE(loadError(R"([3])"), "");

    qvtest::TempDir dir;
    QVError error;
    EXPECT_FALSE(ScriptedBackend::fromFile(dir / "ontbreekt.json", &error));
    EXPECT_NE(error.message.find("ontbreekt.json"), std::string::npos);
    EXPECT_FALSE(ScriptedBackend::fromFile(dir.path(), &error));
    qvtest::writeFile(dir / "script.json", R"([{"cancel": true}])");
    auto backend = ScriptedBackend::fromFile(dir / "script.json", &error);
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->answersLeft(), 1u);
}

TEST(ScriptedBackend, OpenPanelTakesCheckedPaths) {
    qvtest::TempDir home;
    qvtest::ScopedEnv env("HOME", home.path().string());
    qvtest::writeFile(home / "Formulier.PDF", "%PDF-1.7");
    qvtest::writeFile(home / "data.csv", "a\n1\n");
    auto backend = script(R"([{"path": "~/Formulier.PDF"}, {"path": "~/data.csv"}, {"path": "~/weg.pdf"},
                              {"cancel": true}, {"button": 1}])");
    qvtest::DialogSession session(backend);

    OpenPanel panel;
    panel.setTitle("Kies een PDF-formulier");
    panel.setAllowedContentTypes({*ContentType::typeWithFilenameExtension("pdf")});
    EXPECT_EQ(panel.runModal(), kPanelOKResponse);
    EXPECT_EQ(panel.URL(), home / "Formulier.PDF");
    EXPECT_EQ(panel.runModal(), kPanelCancelResponse);  // wrong type
    EXPECT_TRUE(panel.URL().empty());
    EXPECT_EQ(panel.runModal(), kPanelCancelResponse);  // does not exist
    EXPECT_EQ(panel.runModal(), kPanelCancelResponse);  // cancelled
    EXPECT_EQ(panel.runModal(), kPanelCancelResponse);  // an alert's answer
    EXPECT_EQ(backend->problems().size(), 3u);

    auto lines = session.lines();
    ASSERT_EQ(lines.size(), 5u);
    json expected = {{"kind", "open-panel"},
                     {"title", "Kies een PDF-formulier"},
                     {"files", true},
                     {"folders", false},
                     {"extensions", {"pdf"}},
                     {"response", 1},
                     {"path", (home / "Formulier.PDF").string()}};
    EXPECT_EQ(lines[0], expected);
    EXPECT_EQ(lines[1]["response"], 0);
    EXPECT_TRUE(lines[1].contains("problem"));
    EXPECT_FALSE(lines[3].contains("problem"));
}
