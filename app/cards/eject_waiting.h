#pragma once
// Ejecting a card from a window without freezing it.

#include "eject.h"

namespace oakvane {

// Runs eject_card_report on a thread of its own and waits for it in a local event loop that
// keeps windows painting but holds back user input, so that a slow unmount, the busy retries
// (up to about 10 s) or a password question of the disk service never freeze the window.
// Needs a QCoreApplication; call it from the thread that runs the windows.
EjectReport eject_card_waiting(const std::string& card_folder);

}  // namespace oakvane
