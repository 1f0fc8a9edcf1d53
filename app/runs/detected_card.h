#pragma once
// The card a run takes by default: the one card detection found mounted. Card detection owns
// it; the hosts hand it to Start and to the run's report as it stands at that moment.

#include <string>

namespace oakvane {

struct DetectedCard {
    // The card folder (root + "DCIM"); empty unless exactly one card is mounted.
    std::string folder;
    // The root, with " (label)" when it has one; empty with the folder.
    std::string name;
};

}  // namespace oakvane
