// The dialog services' own texts (prompts, script and panel messages) reach the user in the
// language in force once the application routes them through QVText, as it does at start-up.

#include <gtest/gtest.h>

#include <sstream>

#include "localization/Text.h"
#include "platform/Error.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Backend.h"
#include "platform/dialogs/Controls.h"
#include "platform/dialogs/OpenPanel.h"
#include "platform/dialogs/ScriptedBackend.h"
#include "platform/dialogs/TerminalBackend.h"
#include "support/DutchHome.h"
#include "support/TestSupport.h"

using namespace qvui;
using qvtest::ScopedEnv;
using qvtest::TempDir;

namespace {

class DialogTextTest : public qvtest::NoLanguageHomeTest {
protected:
    DialogTextTest() { setDialogTextProvider(QVText); }
    ~DialogTextTest() override {
        setDialogBackend(nullptr);
        setDialogTextProvider(nullptr);
    }
};

}  // namespace

TEST_F(DialogTextTest, TerminalSessionSpeaksTheLanguageInForce) {
    ASSERT_TRUE(QVSetLanguage("de"));
    std::istringstream in("7\n\n\x01\nneu\n9\n2\n");
    std::ostringstream out;
    setDialogBackend(std::make_shared<TerminalBackend>(in, out, false));

    Alert alert;
    alert.setMessageText("Titel");
    auto view = std::make_shared<View>(Rect{0, 0, 300, 60});
    auto popup = std::make_shared<PopUpButton>(Rect{0, 30, 300, 26});
    popup->addItemsWithTitles({"a", "b"});
    auto field = std::make_shared<TextField>(Rect{0, 0, 300, 24});
    field->setStringValue("alt");
    ASSERT_TRUE(view->addSubview(popup));
    ASSERT_TRUE(view->addSubview(field));
    alert.setAccessoryView(view);
    alert.addButtonWithTitle("Ja");
    alert.addButtonWithTitle("Nein");

    EXPECT_EQ(alert.runModal(), kAlertSecondButtonReturn);
    EXPECT_EQ(field->stringValue(), "neu");
    EXPECT_EQ(out.str(),
              "\nTitel\n"
              "Auswahlliste:\n"
              "  * 1) a\n"
              "    2) b\n"
              "Wählen Sie eine Nummer (1-2, Eingabetaste = 1): "
              "Ungültige Auswahl, bitte versuchen Sie es erneut.\n"
              "Wählen Sie eine Nummer (1-2, Eingabetaste = 1): "
              "Textfeld: alt\n"
              "Neuer Text (Eingabetaste = unverändert): "
              "Ungültiger Text: Steuerzeichen sind nicht erlaubt.\n"
              "Neuer Text (Eingabetaste = unverändert): "
              "1) Ja   2) Nein\n"
              "Wählen Sie eine Schaltfläche (1-2, Eingabetaste = 1): "
              "Ungültige Auswahl, bitte versuchen Sie es erneut.\n"
              "Wählen Sie eine Schaltfläche (1-2, Eingabetaste = 1): ");
}

TEST_F(DialogTextTest, ScriptProblemsAndRefusedPathsAreTranslated) {
    ASSERT_TRUE(QVSetLanguage("fr"));
    QVError error;
    EXPECT_FALSE(ScriptedBackend::fromJSON(R"([{"cancel": true}, {"knop": 1}])", &error));
    EXPECT_EQ(error.message, "Réponse 2 du script de dialogue\u00a0: cl\u00e9 inconnue \u00ab\u00a0knop\u00a0\u00bb.");

    ASSERT_TRUE(QVSetLanguage("es"));
    auto script = ScriptedBackend::fromJSON(R"([{"button": 3}, {"path": "~/weg.csv"}])", &error);
    ASSERT_TRUE(script) << error.message;
    setDialogBackend(script);
    Alert alert;
    alert.addButtonWithTitle("S\u00ed");
    alert.addButtonWithTitle("No");
    EXPECT_EQ(alert.runModal(), kAlertCancelledReturn);
    OpenPanel panel;
    EXPECT_EQ(panel.runModal(), kPanelCancelResponse);
    ASSERT_EQ(script->problems().size(), 2u);
    EXPECT_EQ(script->problems()[0],
              "Respuesta 1 del script de di\u00e1logos: el bot\u00f3n 3 no existe; el mensaje solo tiene 2.");
    EXPECT_EQ(script->problems()[1],
              "Respuesta 2 del script de di\u00e1logos: Esta ruta no existe: " + (home / "weg.csv").string());
}
