#include "settings_check.h"

#include "fs_util.h"
#include "run.h"
#include "text_format.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace oakvane {

namespace {

namespace fs = std::filesystem;

// The path with its existing part resolved; "" when even that can't be resolved.
std::string resolved(const std::string& path)
{
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(path, ec);
    return ec ? std::string() : real.string();
}

bool inside(const std::string& inner, const std::string& outer)
{
    if (inner.empty() || outer.empty())
        return false;
    const std::string prefix = outer.back() == '/' ? outer : outer + '/';
    return (inner + '/').starts_with(prefix);
}

Status check_absolute(const std::string& folder, const char* which)
{
    if (folder.starts_with('/'))
        return {};
    return fail(std::string(which) + " folder must be an absolute path: \"" + shown(folder) + "\"");
}

// The user-named folder is one level of the arrangement: a "/" in it would ask for folders
// the run never makes, and "." or ".." would put images beside or above their date folders.
Status check_user_folder(const RunRequest& run)
{
    const std::string& name = run.user_folder_name;
    if (!run.user_folder || (name.find('/') == std::string::npos && name != "." && name != ".."))
        return {};
    return fail("The user-named folder must be one folder name, without \"/\": \"" + shown(name) + "\"");
}

}  // namespace

Status check_folders(const RunRequest& run)
{
    if (Status named = check_user_folder(run); !named)
        return named;
    if (run.backup_folder == run.primary_folder)
        return fail("Backup and primary folders must be different.");
    if (Status absolute = check_absolute(run.backup_folder, "Backup"); !absolute)
        return absolute;
    if (Status absolute = check_absolute(run.primary_folder, "Primary"); !absolute)
        return absolute;
    std::error_code ec;
    if (!fs::exists(run.card_folder, ec))
        return {};
    const std::string card = resolved(run.card_folder);
    const std::string backup = resolved(run.backup_folder);
    const std::string primary = resolved(run.primary_folder);
    if (inside(backup, card))
        return fail("The backup folder is inside the card folder: \"" + shown(run.backup_folder) + "\"");
    if (inside(card, backup))
        return fail("The card folder is inside the backup folder: \"" + shown(run.card_folder) + "\"");
    if (inside(primary, card))
        return fail("The primary folder is inside the card folder: \"" + shown(run.primary_folder) + "\"");
    if (inside(card, primary))
        return fail("The card folder is inside the primary folder: \"" + shown(run.card_folder) + "\"");
    return {};
}

Status check_trees_off_card(Run& run)
{
    const RunRequest& request = run.request;
    struct stat card;
    if (::stat(request.card_folder.c_str(), &card) != 0 || !run.folder_on_card(request.card_folder))
        return {};
    const std::pair<const char*, const std::string*> trees[] = {
        {"backup", &request.backup_folder}, {"primary", &request.primary_folder}};
    for (const auto& [which, folder] : trees) {
        const std::string existing = nearest_existing(*folder);
        struct stat tree;
        if (!existing.empty() && ::stat(existing.c_str(), &tree) == 0 && tree.st_dev == card.st_dev)
            return fail(std::string("The ") + which + " folder is on the card itself: \"" + shown(*folder) +
                        "\". The card is formatted after ingestion; choose a folder on another disk.");
    }
    return {};
}

}  // namespace oakvane
