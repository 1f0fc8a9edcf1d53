#include "card_scan.h"

namespace oakvane {

namespace {

std::string card_name(const Volume& volume)
{
    std::string name = card_root(volume.mount_point);
    if (!volume.label.empty())
        name += " (" + volume.label + ")";
    return name;
}

// A camera is read through libgphoto2, never mounted: there is nothing to eject.
CardState one_camera_state(const Volume& camera)
{
    CardState state;
    state.card_name = camera.label;
    state.card_folder = camera.mount_point;
    state.main_status = kOneCardStatus;
    state.card_text = kOneCameraTextPrefix + camera.label;
    return state;
}

CardState one_card_state(const Volume& card)
{
    if (card.camera)
        return one_camera_state(card);
    CardState state;
    state.card_name = card_name(card);
    state.card_folder = card_folder_of(card.mount_point);
    state.main_status = kOneCardStatus;
    state.card_text = kOneCardTextPrefix + state.card_name;
    state.eject_enabled = true;
    return state;
}

CardState many_cards_state()
{
    CardState state;
    state.main_status = kManyCardsStatus;
    state.card_text = kManyCardsText;
    return state;
}

}  // namespace

CardState no_card_state()
{
    CardState state;
    state.main_status = kNoCardStatus;
    state.card_text = kNoCardText;
    return state;
}

std::string card_root(const std::string& mount_point)
{
    if (!mount_point.empty() && mount_point.back() == '/')
        return mount_point;
    return mount_point + "/";
}

std::string card_folder_of(const std::string& mount_point)
{
    return card_root(mount_point) + "DCIM";
}

CardDecision decide_cards(const VolumeScan& scan, const std::string& recorded_folder,
                          const std::string& recorded_name)
{
    CardDecision decision;
    if (!scan.ok)
        return decision;
    const Volume* found = nullptr;
    for (const Volume& volume : scan.volumes) {
        if (!volume.has_dcim)
            continue;
        ++decision.cards;
        found = &volume;
    }
    if (decision.cards == 0) {
        decision.state = no_card_state();
    } else if (decision.cards == 1) {
        CardState state = one_card_state(*found);
        if (state.card_folder == recorded_folder && state.card_name == recorded_name) {
            decision.result = 0;
            return decision;
        }
        decision.state = std::move(state);
    } else {
        decision.state = many_cards_state();
    }
    return decision;
}

}  // namespace oakvane
