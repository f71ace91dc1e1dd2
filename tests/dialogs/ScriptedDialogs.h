#pragma once
// Runs dialogs against a script with an isolated home, settings and language (Dutch unless a
// test says otherwise), and reads back what was shown.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs/Alert.h"
#include "platform/dialogs/DialogSession.h"
#include "platform/dialogs/ScriptedBackend.h"
#include "support/TestSupport.h"

namespace qvtest {

class IsolatedLanguage {
public:
    explicit IsolatedLanguage(const char* language = "nl") : languageEnv{"LANGUAGE", std::string(language)} {}
    TempDir home;

private:
    ScopedEnv homeEnv{"HOME", home.path().string()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", (home / "config").string()};
    ScopedEnv languageEnv;
    ScopedEnv allEnv{"LC_ALL", std::nullopt};
    ScopedEnv messagesEnv{"LC_MESSAGES", std::nullopt};
    ScopedEnv langEnv{"LANG", std::nullopt};
};

// A backend that hands every alert to a test function first (to look at its views) and then
// lets the script answer it.
class InspectingBackend : public qvui::DialogBackend {
public:
    InspectingBackend(std::shared_ptr<qvui::ScriptedBackend> script, std::function<void(qvui::Alert&)> inspect)
        : script_(std::move(script)), inspect_(std::move(inspect)) {}
    qvui::AlertAnswer runAlert(qvui::Alert& alert) override {
        inspect_(alert);
        return script_->runAlert(alert);
    }
    qvui::PanelAnswer runOpenPanel(const qvui::OpenPanel& panel) override { return script_->runOpenPanel(panel); }

private:
    std::shared_ptr<qvui::ScriptedBackend> script_;
    std::function<void(qvui::Alert&)> inspect_;
};

inline std::shared_ptr<qvui::ScriptedBackend> scriptFrom(const std::string& json) {
    QVError error;
    auto backend = qvui::ScriptedBackend::fromJSON(json, &error);
    EXPECT_TRUE(backend) << error.message;
    return backend;
}

// A dialog session answered by `json`; with `inspect`, every alert is shown to it first.
class ScriptedDialogs {
public:
    explicit ScriptedDialogs(const std::string& json, std::function<void(qvui::Alert&)> inspect = {})
        : script(scriptFrom(json)),
          session(inspect ? std::shared_ptr<qvui::DialogBackend>(std::make_shared<InspectingBackend>(script, inspect))
                          : std::shared_ptr<qvui::DialogBackend>(script)) {}

    std::vector<nlohmann::json> lines() const { return session.lines(); }
    // Every answer used and none refused.
    void expectScriptUsedUp() const {
        EXPECT_EQ(script->answersLeft(), 0u);
        EXPECT_TRUE(script->problems().empty()) << script->problems().front();
    }

    std::shared_ptr<qvui::ScriptedBackend> script;
    DialogSession session;
};

}  // namespace qvtest
