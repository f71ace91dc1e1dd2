#pragma once
// The watermark style dialog: position, size and grey of the watermark line, each from three
// fixed choices.

#include "engine/Engine.h"

// True when the user confirmed a valid choice in every pop-up; then all three fields of
// `style` are overwritten. False (cancelled, or an invalid choice, which is reported) leaves
// `style` as it was. The pop-ups always open at their first items.
[[nodiscard]] bool chooseWatermarkStyle(QVWatermarkStyle& style);
