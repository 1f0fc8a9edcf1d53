#include "free_space.h"

#include "card_file.h"
#include "file_kinds.h"
#include "fs_util.h"
#include "ingested.h"
#include "run.h"
#include "text_format.h"

#include <cerrno>
#include <cinttypes>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace oakvane {

namespace {

struct FileSystem {
    dev_t device = 0;
    std::uint64_t block = 1;
    std::uint64_t available = 0;
};

// The file system a folder is (or will be) on: that of its nearest existing ancestor.
bool file_system_of(std::string path, FileSystem& fs)
{
    path = nearest_existing(std::move(path));
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    struct statvfs vfs;
    if (::statvfs(path.c_str(), &vfs) != 0)
        return false;
    fs.device = st.st_dev;
    fs.block = vfs.f_frsize > 0 ? vfs.f_frsize : 1;
    fs.available = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return true;
}

std::uint64_t in_blocks(std::uint64_t bytes, std::uint64_t block)
{
    return (bytes + block - 1) / block * block;
}

std::uint64_t template_size(const Run& run)
{
    struct stat st;
    const std::string& path = run.request.sidecar_template;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool gets_sidecar(const Run& run, const CardEntry& file)
{
    return !run.request.sidecar_template.empty() && !has_card_sidecar(run, file.path) &&
           !sidecar_path_for(file.path).empty();
}

// The bytes the card takes in the backup tree: every file and its sidecar.
std::uint64_t backup_bytes(const Run& run, std::uint64_t block, std::uint64_t sidecar)
{
    std::uint64_t total = 0;
    for (const CardEntry& file : run.card_files)
        if (!likely_ingested(run, file))
            total += in_blocks(file.size, block) + (gets_sidecar(run, file) ? in_blocks(sidecar, block) : 0);
    return total;
}

// The bytes the card takes in the primary tree. The size of a DNG is known only once the
// converter has made it: each is taken as its raw plus a quarter, room for a full-size
// preview, so that a refused run is the likelier mistake rather than a full disk. A
// verification-only run holds a folder's DNGs beside the copies until the folder is done;
// all of them are counted.
std::uint64_t primary_bytes(const Run& run, std::uint64_t block, std::uint64_t sidecar)
{
    std::uint64_t total = 0;
    for (const CardEntry& file : run.card_files) {
        if (likely_ingested(run, file))
            continue;
        const bool converted = run.converting() && is_convertible_raw(file.path);
        if (converted)
            total += in_blocks(file.size + file.size / 4, block);
        if (!converted || run.request.verify_only)
            total += in_blocks(file.size, block) + (gets_sidecar(run, file) ? in_blocks(sidecar, block) : 0);
    }
    return total;
}

}  // namespace

std::vector<SpaceNeed> space_needs(Run& run)
{
    const std::string& backup_folder = run.request.backup_folder;
    const std::string& primary_folder = run.request.primary_folder;
    const std::uint64_t sidecar = template_size(run);
    FileSystem backup;
    FileSystem primary;
    const bool backup_known = file_system_of(backup_folder, backup);
    const bool primary_known = file_system_of(primary_folder, primary);
    if (!backup_known || !primary_known)
        run.diagnostic("can't tell the free space of " + (backup_known ? primary_folder : backup_folder));
    std::vector<SpaceNeed> needs;
    const std::string backup_name = "the backup folder \"" + shown(backup_folder) + "\"";
    const std::string primary_name = "the primary folder \"" + shown(primary_folder) + "\"";
    if (backup_known && primary_known && backup.device == primary.device) {
        needs.push_back({backup_name + " and " + primary_name + ", which share a file system",
                         backup_bytes(run, backup.block, sidecar) + primary_bytes(run, backup.block, sidecar),
                         backup.available});
        return needs;
    }
    if (backup_known)
        needs.push_back({backup_name, backup_bytes(run, backup.block, sidecar), backup.available});
    if (primary_known)
        needs.push_back({primary_name, primary_bytes(run, primary.block, sidecar), primary.available});
    return needs;
}

std::string space_shortage_text(const SpaceNeed& need)
{
    return format("Not enough free space for %s: %" PRIu64 " bytes needed, %" PRIu64 " bytes free",
                  need.folders.c_str(), need.needed, need.available);
}

Status check_free_space(const std::vector<SpaceNeed>& needs)
{
    for (const SpaceNeed& need : needs)
        if (need.needed > need.available)
            return fail(space_shortage_text(need));
    return {};
}

}  // namespace oakvane
