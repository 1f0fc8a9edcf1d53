#pragma once
// Releasing a camera card from the computer so that it can be pulled out safely.

#include <string>

namespace oakvane {

// Shown by the caller when eject_volume refused or could not handle the card.
inline constexpr char kCantEjectCard[] = "Can't eject card";

enum class CardEject {
    no_card,   // the folder is too short to name a card: nothing was done
    done,      // eject_volume returned 1: rescan the cards
    refused,   // eject_volume returned 0: show kCantEjectCard
};

struct EjectReport {
    CardEject result = CardEject::no_card;
    // What became of the card or why it could not be ejected, in the system's words ("" when
    // there is nothing to add). A window shows it below kCantEjectCard or in its output list.
    std::string reason;
};

// Unmounts the volume mounted at mount_point and ejects its media (or detaches a card image).
// Returns 0 when the volume is refused (not a removable, USB, MMC/SD or loop block device, or
// not a mount point at all) or when it cannot be handled; 1 otherwise, which includes a volume
// that stayed busy for about 10 s and was left mounted. Blocks the caller meanwhile. The reason
// of the outcome goes to standard error.
int eject_volume(const std::string& mount_point);

// eject_volume with its outcome (done or refused) and the reason returned, nothing written.
EjectReport eject_volume_report(const std::string& mount_point);

// The mount point of a card, taken from its card folder ("<root>/DCIM").
std::string card_mount_point(const std::string& card_folder);

// The Eject command of the main window and of automatic ejection, on the folder of the card
// that the window shows as mounted. Writes nothing: the reason is the caller's to show.
EjectReport eject_card_report(const std::string& card_folder);

// eject_card_report for callers without a place to show the reason: it goes to standard error.
CardEject eject_card(const std::string& card_folder);

}  // namespace oakvane
