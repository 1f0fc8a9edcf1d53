#pragma once
// The dates and times of card files as the camera showed them: the one place where the
// engine breaks a card file's modification time down.

#include <ctime>

namespace oakvane {

// Decides, once per run from the card folder, how the card's file times are read: the
// camera's zone-less wall-clock on FAT and exFAT, local time elsewhere. The environment
// variable OAKVANE_CARD_CLOCK ("wall-clock" or "local") overrides the decision. 0 after a
// recorded error.
int decide_card_clock();

// The card file time t broken down as the run's decision says.
std::tm card_time_parts(std::time_t t);

}  // namespace oakvane
