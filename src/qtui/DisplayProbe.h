#pragma once
// Whether a Qt window can be shown. Qt ends the process when it cannot open its display, so
// the question is put to a short-lived child process first.

namespace qvui {

// Whether the environment names a display at all (DISPLAY or WAYLAND_DISPLAY, non-empty).
bool displayNamed();

// Whether Qt can open its display: a child process starts a GUI application and reports back.
// Must be called before this process starts any thread of its own or any Qt application.
bool qtCanOpenDisplay();

}  // namespace qvui
