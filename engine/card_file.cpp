#include "card_file.h"

#include "file_kinds.h"
#include "text_format.h"

namespace oakvane {

Status classify_card_entry(const CardItem& item, bool& copy)
{
    copy = false;
    if (item.level > 0 && item.name().starts_with('.'))
        return {};
    switch (item.type) {
    case posix::EntryType::directory: return {};
    case posix::EntryType::file: copy = true; return {};
    case posix::EntryType::link:
        // Following it could read outside the card or loop; leaving it out would lose it.
        return fail("Link on card: \"" + shown(item.path) + "\"");
    default: return fail("Not a regular file on card: \"" + shown(item.path) + "\"");
    }
}

void note_card_sidecar(Run& run, const std::string& path)
{
    if (is_sidecar_path(path))
        run.card_sidecars.insert(without_extension(path));
}

bool has_card_sidecar(const Run& run, const std::string& path)
{
    const std::string stem = without_extension(path);
    return !stem.empty() && run.card_sidecars.contains(stem);
}

}  // namespace oakvane
