#pragma once
// The About box: product name, version, what the plug-in does, and its notice line.

// The version comes from the loaded plug-in bundle (found by its identifier, else at its usual
// install path); "0.12" when neither is there. Shows one modal alert with one button.
void QVShowAbout();
