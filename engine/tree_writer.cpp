#include "tree_writer.h"

#include "dirlist.h"
#include "flush_path.h"
#include "staged_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
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
    for (const std::string& name : posix::list_directory(folder)) {
        if (!name.starts_with(kStagingPrefix))
            continue;
        const std::string path = folder + "/" + name;
        if (::unlink(path.c_str()) == 0 || (errno == EISDIR && remove_staging_folder(path) == 0))
            note_changed(folder);
    }
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

bool PlanWriter::exists(const std::string& path)
{
    return m_new_folders.contains(path) || m_published.contains(path) || path_exists(path);
}

}  // namespace oakvane
