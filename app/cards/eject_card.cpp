#include "eject.h"

#include <filesystem>

namespace oakvane {

std::string card_mount_point(const std::string& card_folder)
{
    std::filesystem::path folder(card_folder);
    // "/media/card/DCIM/" has an empty last part; the card folder is the part before it.
    if (!folder.has_filename())
        folder = folder.parent_path();
    return folder.parent_path().string();
}

EjectReport eject_card_report(const std::string& card_folder)
{
    if (card_folder.size() < 2)
        return {};
    return eject_volume_report(card_mount_point(card_folder));
}

}  // namespace oakvane
