#pragma once
// The language command: lets the user choose the language of every text of the program, or
// let it follow the system's preferred languages.

// The execute routine of the language menu item. `clientData` is the host's and is not used.
void QVLanguageCommand(void* clientData);
