#pragma once
// Qt dialogs for one test: the Qt backend, an in-memory transcript, the program's text
// lookup and an isolated home that speaks Dutch.

#include <memory>

#include "dialogs/ScriptedDialogs.h"
#include "localization/Text.h"
#include "platform/dialogs/DialogSession.h"
#include "qtui/QtBackend.h"

namespace qvtest {

struct QtSession {
    QtSession() { qvui::setDialogTextProvider(QVText); }

    IsolatedLanguage language{"nl"};
    DialogSession session{std::make_shared<qvui::QtBackend>()};
};

}  // namespace qvtest
