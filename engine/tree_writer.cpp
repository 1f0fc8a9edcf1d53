#include "tree_writer.h"

#include "dirlist.h"
#include "flush_path.h"
#include "staged_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oakvane {

namespace {

// Renames the folder from to to, failing with EEXIST rather than replacing anything. Where
// the file system has no such rename (EINVAL), the final name is made as a new empty folder
// first, which only this run can then hold, and the folder is renamed onto it. 0 or errno.
int rename_folder_noreplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::mkdir(to.c_str(), 0777) != 0)
        return errno;
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::rmdir(to.c_str());
        return err;
    }
    return 0;
}

// "0001-0007", "0001-0007a", or the placeholder "0000-0000" a run renames at its end.
bool is_range_folder_name(std::string_view name)
{
    if (name.size() != 9 && !(name.size() == 10 && name[9] >= 'a' && name[9] <= 'z'))
        return false;
    for (std::size_t i = 0; i < 9; ++i)
        if (i == 4 ? name[i] != '-' : !std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

// The staging entries in a folder, and whether it holds anything else. A folder that can't
// be listed to its end, or is not a folder of its own (a link), counts as holding more.
struct Leftovers {
    std::vector<std::string> staging;
    bool only = false;
};

Leftovers leftovers_in(const std::string& folder)
{
    Leftovers found;
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return found;
    bool listed = true;
    found.only = true;
    for (std::string& name : posix::list_directory(folder, &listed)) {
        if (name.starts_with(kStagingPrefix))
            found.staging.push_back(std::move(name));
        else
            found.only = false;
    }
    found.only = found.only && listed;
    return found;
}

}  // namespace

int DiskWriter::make_dir(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) == 0) {
        note_changed(folder_of(path));
        return 0;
    }
    return errno == EEXIST ? 0 : errno;
}

int DiskWriter::stage(const std::string& folder, StagedFile& file)
{
    sweep(folder);
    for (int tries = 0; tries < 100; ++tries) {
        char name[64];
        std::snprintf(name, sizeof name, "%.*s%ld-%u", int(kStagingPrefix.size()),
                      kStagingPrefix.data(), long(::getpid()), ++m_staged);
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file.adopt(UniqueFd(fd), path);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int DiskWriter::publish(StagedFile& file, const std::string& final_path)
{
    if (const int err = publish_noreplace(file.temp_path(), final_path); err != 0)
        return err;
    file.published();
    note_named(final_path);
    return 0;
}

void DiskWriter::note_named(const std::string& path)
{
    m_named.insert(path);
    note_changed(folder_of(path));
}

int DiskWriter::rename_folder(const std::string& from, const std::string& to)
{
    if (const int err = rename_folder_noreplace(from, to); err != 0)
        return err;
    move_paths_below(m_changed, from, to);
    move_paths_below(m_named, from, to);
    move_paths_below(m_swept, from, to);
    note_changed(folder_of(to));
    return 0;
}

bool DiskWriter::exists(const std::string& path) { return path_exists(path); }

Status DiskWriter::lock(const std::string& root)
{
    if (m_locks.contains(root))
        return {};
    UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return fail("Can't lock folder: \"" + root + "\"", root, errno);
    // A file system without locks (some network ones) still lets the run go on.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return fail("Another ingestion is writing into \"" + root + "\"");
    m_locks.emplace(root, std::move(fd));
    return {};
}

// Leftovers of a run that crashed or lost power; the run lock keeps any other run out of
// the trees, so every staging file found here is dead.
void DiskWriter::sweep(const std::string& folder)
{
    if (!m_swept.insert(folder).second)
        return;
    remove_dead(folder, leftovers_in(folder).staging);
    if (is_range_folder_name(file_name_of(folder)))
        sweep_ranges_beside(folder_of(folder));
}

// A run killed in a range folder leaves it holding staging files, or the converter's scratch
// folder, and the next run writes into a range folder of another name: the range folders
// beside each one this run writes into are swept too.
void DiskWriter::sweep_ranges_beside(const std::string& parent)
{
    if (!m_swept_beside.insert(parent).second)
        return;
    for (const std::string& name : posix::list_directory(parent)) {
        const std::string folder = parent + "/" + name;
        if (is_range_folder_name(name) && !m_swept.contains(folder))
            clear_dead_folder(folder, false);
    }
}

bool DiskWriter::clear_placeholder(const std::string& folder)
{
    return !m_swept.contains(folder) && clear_dead_folder(folder, true);
}

// Removes the staging leftovers in folder, then folder itself when they were all it held
// (or, with empty_too, when it held nothing). A folder the photographer emptied is not this
// program's to remove. True when folder is gone.
bool DiskWriter::clear_dead_folder(const std::string& folder, bool empty_too)
{
    const Leftovers found = leftovers_in(folder);
    const bool all_gone = remove_dead(folder, found.staging);
    if (!found.only || !all_gone || (found.staging.empty() && !empty_too))
        return false;
    if (::rmdir(folder.c_str()) != 0)
        return false;
    m_changed.erase(folder);
    note_changed(folder_of(folder));
    return true;
}

// Removes the staging entries names of folder; true when none stays.
bool DiskWriter::remove_dead(const std::string& folder, const std::vector<std::string>& names)
{
    bool all_gone = true;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        if (::unlink(path.c_str()) == 0 || (errno == EISDIR && remove_staging_folder(path) == 0))
            note_changed(folder);
        else
            all_gone = false;
    }
    return all_gone;
}

// A FUSE file system takes a folder's fsync as done when its daemon has no such call, and a
// network one may too; a file's own fsync does reach the storage, and on the journalling
// file systems below them it also commits the rename that gave the file its name. So on
// those file systems each named file is flushed again, under its final name.
Status DiskWriter::sync_names()
{
    std::map<std::string, FlushPath> by_folder;
    for (const std::string& path : m_named) {
        const std::string folder = folder_of(path);
        auto [it, first] = by_folder.try_emplace(folder, FlushPath::group);
        if (first)
            it->second = flush_path_of(folder);
        if (it->second == FlushPath::group)
            continue;
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd || ::fsync(fd.get()) != 0)
            return fail("Write-back error: \"" + path + "\"", "", errno);
    }
    m_named.clear();
    return {};
}

Status DiskWriter::sync_folders()
{
    if (Status named = sync_names(); !named)
        return named;
    for (const std::string& folder : m_changed) {
        UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        // Some file systems can't flush a folder (EINVAL); they keep no entries to lose.
        if (!fd || (::fsync(fd.get()) != 0 && errno != EINVAL))
            return fail("Write-back error: \"" + folder + "\"", "", errno);
    }
    m_changed.clear();
    return {};
}

int PlanWriter::make_dir(const std::string& path)
{
    // Each image asks for its whole folder path: look at each folder once.
    if (!m_new_folders.contains(path) && m_existing.insert(path).second && !path_exists(path)) {
        m_existing.erase(path);
        m_new_folders.insert(path);
    }
    return 0;
}

int PlanWriter::stage(const std::string& folder, StagedFile& file)
{
    file.plan(folder + "/" + std::string(kStagingPrefix));
    return 0;
}

int PlanWriter::publish(StagedFile& file, const std::string& final_path)
{
    if (exists(final_path))
        return EEXIST;
    m_published.insert(final_path);
    file.published();
    return 0;
}

int PlanWriter::rename_folder(const std::string& from, const std::string& to)
{
    if (exists(to))
        return EEXIST;
    move_paths_below(m_new_folders, from, to);
    move_paths_below(m_published, from, to);
    return 0;
}

bool PlanWriter::clear_placeholder(const std::string& folder)
{
    const Leftovers found = leftovers_in(folder);
    return found.only && !m_new_folders.contains(folder);
}

bool PlanWriter::exists(const std::string& path)
{
    return m_new_folders.contains(path) || m_published.contains(path) || path_exists(path);
}

}  // namespace oakvane
