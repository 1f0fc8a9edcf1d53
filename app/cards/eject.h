#pragma once
// Releasing a camera card from the computer so that it can be pulled out safely.

#include <string>

namespace oakvane {

// Shown by the caller when an eject refused or could not handle the card.
inline constexpr char kCantEjectCard[] = "Can't eject card";

enum class CardEject {
    no_card,   // the folder is too short to name a card: nothing was done
    done,      // ejected, or left mounted after staying busy: rescan the cards
    refused,   // not a card that may be ejected, or it could not be handled: show kCantEjectCard
};

struct EjectReport {
    CardEject result = CardEject::no_card;
    // What became of the card or why it could not be ejected, in the system's words ("" when
    // there is nothing to add). A window shows it below kCantEjectCard or in its output list.
    std::string reason;
};

// Unmounts the volume mounted at mount_point and ejects its media (or detaches a card image).
// Refused when the volume is not a removable, USB, MMC/SD or loop block device, or not a mount
// point at all, or when it cannot be handled; done otherwise, which includes a volume that
// stayed busy for about 10 s and was left mounted. Blocks the caller meanwhile. Writes nothing:
// the reason is the caller's to show.
EjectReport eject_volume_report(const std::string& mount_point);

// Whether folder lies on a card: on a volume Eject would let go (removable, USB, MMC/SD or
// loop media holding none of the system's folders), which is formatted after ingestion.
bool folder_on_card(const std::string& folder);

// The mount point of a card, taken from its card folder ("<root>/DCIM").
std::string card_mount_point(const std::string& card_folder);

// The Eject command of the main window and of automatic ejection, on the folder of the card
// that the window shows as mounted. Writes nothing: the reason is the caller's to show.
EjectReport eject_card_report(const std::string& card_folder);

}  // namespace oakvane
