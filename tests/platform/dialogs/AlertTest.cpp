#include <gtest/gtest.h>

#include "DialogSession.h"
#include "platform/dialogs/Alert.h"
#include "platform/dialogs/Controls.h"
#include "platform/dialogs/ScriptedBackend.h"

using namespace qvui;

using qvtest::script;

namespace {

// A backend that answers whatever code it is told to.
class FixedBackend : public DialogBackend {
public:
    explicit FixedBackend(int code) : code_(code) {}
    AlertAnswer runAlert(Alert&) override { return {code_, {}}; }
    PanelAnswer runOpenPanel(const OpenPanel&) override { return {}; }

private:
    int code_;
};

}  // namespace

TEST(Alert, ButtonsAnswerInTheOrderAdded) {
    Alert alert;
    EXPECT_EQ(alert.addButtonWithTitle("Ander scheidingsteken"), kAlertFirstButtonReturn);
    EXPECT_EQ(alert.addButtonWithTitle("Toch doorgaan"), kAlertSecondButtonReturn);
    EXPECT_EQ(alert.addButtonWithTitle("Annuleren"), kAlertThirdButtonReturn);

    qvtest::DialogSession session(script(R"([{"button": 1}, {"button": 3}, {"button": "Toch doorgaan"}])"));
    EXPECT_EQ(alert.runModal(), 1000);
    EXPECT_EQ(alert.runModal(), 1002);
    EXPECT_EQ(alert.runModal(), 1001);
}

TEST(Alert, WithoutButtonsShowsOneTranslatedOK) {
    qvtest::DialogSession session(script(R"([{}, {"button": "Okay"}])"));
    Alert alert;
    alert.setMessageText("Ongeldig scheidingsteken.");
    EXPECT_EQ(alert.buttonTitles(), std::vector<std::string>{"OK"});
    EXPECT_EQ(alert.runModal(), 1000);

    setDialogTextProvider([](const std::string& key) { return key == "OK" ? std::string("Okay") : key; });
    EXPECT_EQ(alert.runModal(), 1000);
    EXPECT_EQ(session.last()["buttons"], nlohmann::json::array({"Okay"}));
}

TEST(Alert, KeepsItsControlsWhenShownAgain) {
    Alert alert;
    auto view = std::make_shared<View>(Rect{0, 0, 240, 60});
    auto popup = std::make_shared<PopUpButton>(Rect{0, 30, 240, 26});
    popup->addItemsWithTitles({"Komma (,)", "Puntkomma (;)", "Tab"});
    auto field = std::make_shared<TextField>(Rect{0, 0, 240, 24});
    field->setStringValue("merge-{#}");
    view->addSubview(popup);
    view->addSubview(field);
    alert.setAccessoryView(view);
    alert.addButtonWithTitle("Verder");

    qvtest::DialogSession session(script(R"([{"popups": [1], "fields": ["x-{#}"]}, {}])"));
    alert.runModal();
    alert.runModal();
    auto lines = session.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1]["popups"][0]["selected"], 1);
    EXPECT_EQ(lines[1]["popups"][0]["chosen"], 1);
    EXPECT_EQ(lines[1]["fields"][0]["shown"], "x-{#}");
    EXPECT_EQ(alert.accessoryView(), view);
    EXPECT_EQ(popup->indexOfSelectedItem(), 1);
}

TEST(Alert, NoBackendOrAStrayCodeMeansCancelled) {
    qvtest::DialogSession session(nullptr);
    Alert alert;
    alert.addButtonWithTitle("Verder");
    EXPECT_EQ(alert.runModal(), kAlertCancelledReturn);
    EXPECT_EQ(session.last()["response"], kAlertCancelledReturn);

    // A backend can only answer codes the alert has.
    setDialogBackend(std::make_shared<FixedBackend>(1001));
    EXPECT_EQ(alert.runModal(), kAlertCancelledReturn);
    setDialogBackend(std::make_shared<FixedBackend>(0));
    EXPECT_EQ(alert.runModal(), kAlertCancelledReturn);
    setDialogBackend(std::make_shared<FixedBackend>(1000));
    EXPECT_EQ(alert.runModal(), 1000);
}
