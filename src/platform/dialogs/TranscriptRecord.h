#pragma once
// Internal to the dialog services: how Alert and OpenPanel put themselves in the transcript.

#include <string>
#include <vector>

#include "platform/dialogs/Backend.h"

namespace qvui {

class Alert;
class OpenPanel;

namespace detail {

// What the accessory view's controls held when the alert appeared.
struct AlertSnapshot {
    std::vector<int> popupSelections;
    std::vector<std::string> fieldTexts;
};

AlertSnapshot snapshotAlert(const Alert& alert);
void recordAlert(const Alert& alert, const AlertSnapshot& shown, const AlertAnswer& answer);
void recordOpenPanel(const OpenPanel& panel, int response, const PanelAnswer& answer);

}  // namespace detail
}  // namespace qvui
