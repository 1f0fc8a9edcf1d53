#pragma once
// The card decision: from the mounted volumes to what the main window shows and which card a
// run will use. A card is any volume whose root holds a "DCIM" folder, whatever its kind.

#include "volumes.h"

#include <optional>
#include <string>

namespace oakvane {

inline constexpr const char* kNoCardStatus = "Insert card or connect camera";
inline constexpr const char* kNoCardText = "No image card mounted";
inline constexpr const char* kOneCardStatus = "Press Start to begin";
inline constexpr const char* kOneCardTextPrefix = "Image card mounted: ";
inline constexpr const char* kManyCardsStatus = "Press Start to choose card";
inline constexpr const char* kManyCardsText = "Multiple image cards mounted";
inline constexpr const char* kOneCameraTextPrefix = "Camera connected: ";

struct CardState {
    std::string main_status;
    std::string card_text;
    // root + "DCIM" when exactly one card is mounted (a camera's "camera:PORT"), else empty
    std::string card_folder;
    std::string card_name;    // root, then " (label)" when labelled (a camera's model); empty unless one card
    bool eject_enabled = false;

    bool operator==(const CardState&) const = default;
};

struct CardDecision {
    int result = 1;  // 0: the recorded card is still the only one; 1 otherwise
    int cards = 0;
    std::optional<CardState> state;  // the state to show and record; none: keep everything
};

// What the window shows before the first scan, and with no card.
CardState no_card_state();

// The volume's root: its mount point ending in "/".
std::string card_root(const std::string& mount_point);

// The card folder of the volume mounted at mount_point: its root followed by "DCIM".
std::string card_folder_of(const std::string& mount_point);

// Decides the card state from a volume list and the card recorded by the previous decision.
// An unreadable list changes nothing. The recorded card is kept (result 0) only when the one
// card found has the recorded folder and name: another card mounted at the same place, with
// another label, is a new card.
CardDecision decide_cards(const VolumeScan& scan, const std::string& recorded_folder,
                          const std::string& recorded_name);

}  // namespace oakvane
