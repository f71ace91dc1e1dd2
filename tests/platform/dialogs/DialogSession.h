#pragma once
// Installs a dialog backend and an in-memory transcript for one test and removes both (and
// any text provider) afterwards, so tests never see each other's dialogs.

#include <nlohmann/json.hpp>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/dialogs/Backend.h"
#include "platform/dialogs/ScriptedBackend.h"
#include "platform/dialogs/Transcript.h"

namespace qvtest {

class DialogSession {
public:
    explicit DialogSession(std::shared_ptr<qvui::DialogBackend> backend)
        : transcript_(qvui::DialogTranscript::inMemory()) {
        qvui::setDialogBackend(std::move(backend));
        qvui::setDialogTranscript(transcript_);
    }
    ~DialogSession() {
        qvui::setDialogBackend(nullptr);
        qvui::setDialogTranscript(nullptr);
        qvui::setDialogTextProvider(nullptr);
    }
    DialogSession(const DialogSession&) = delete;
    DialogSession& operator=(const DialogSession&) = delete;

    // Every transcript line parsed back.
    std::vector<nlohmann::json> lines() const {
        std::vector<nlohmann::json> parsed;
        for (const auto& l : transcript_->lines()) parsed.push_back(nlohmann::json::parse(l));
        return parsed;
    }
    nlohmann::json last() const { return nlohmann::json::parse(transcript_->lines().back()); }

private:
    std::shared_ptr<qvui::DialogTranscript> transcript_;
};

// A scripted backend from its JSON script; a script that does not load fails the test.
inline std::shared_ptr<qvui::ScriptedBackend> script(const std::string& json) {
    QVError error;
    auto backend = qvui::ScriptedBackend::fromJSON(json, &error);
    EXPECT_TRUE(backend) << error.message;
    return backend;
}

}  // namespace qvtest
