#pragma once
// The dates and times of card files as the camera showed them: the one place where the
// engine breaks a card file's modification time down.

#include "card_clock.h"
#include "failure.h"

#include <ctime>

namespace oakvane {

class Run;

// Decides, once per run from the card, how the card's file times are read: the camera's
// zone-less wall-clock on FAT and exFAT, local time elsewhere; on exFAT and FUSE file
// systems, whatever clock the capture dates of the card's photos agree on (when the request
// has a reader for them). The environment variable OAKVANE_CARD_CLOCK ("wall-clock" or
// "local") overrides the decision.
Status decide_card_clock(Run& run);

// The card file time t broken down as clock says.
std::tm card_time_parts(const posix::CardClock& clock, std::time_t t);

}  // namespace oakvane
