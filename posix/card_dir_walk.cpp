// CardDir::walk: every folder reached from its parent's descriptor, never by path.

#include "card_dir.h"

#include "open_beneath.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <vector>

namespace oakvane::posix {

namespace {

using Step = CardDirFailure::Step;

// One walk in progress; it lives on the walk's own stack, so walks share nothing.
struct Walk {
    const std::string& root;
    const CardDir::Visitor& visit;
    CardDirFailure& failure;
};

std::string join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (name.empty())
        return folder;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// path by reference: the caller's errno is read before anything here allocates.
int fail(const Walk& walk, Step step, const std::string& path, int error)
{
    walk.failure.step = step;
    walk.failure.path = path;
    walk.failure.error = error;
    return -1;
}

// The names in the folder open at fd, in the order the file system lists them; 0 or errno.
// The listing goes through a descriptor of its own, so the held one keeps no read position
// and a second walk lists the folder from its start.
int list_names(int fd, std::vector<std::string>& names)
{
    OwnedFd own(openat_noatime(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!own)
        return errno;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(own.get()), &::closedir);
    if (!dir)
        return errno;
    (void)own.release();  // the stream owns it now
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry)
            return errno;
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
}

int walk_folder(const Walk& walk, int fd, const std::string& relative, int level);

// Walks what the folder just opened at fd holds, once it is known to be the folder examined
// as entry: one swapped for another since ends the walk rather than be read as it.
int enter_folder(const Walk& walk, const OwnedFd& fd, const CardDirEntry& entry)
{
    struct stat now;
    if (::fstat(fd.get(), &now) != 0)
        return fail(walk, Step::examine, entry.path, errno);
    if (now.st_dev != entry.st.st_dev || now.st_ino != entry.st.st_ino)
        return fail(walk, Step::changed, entry.path, 0);
    return walk_folder(walk, fd.get(), entry.relative, entry.level + 1);
}

int walk_entry(const Walk& walk, int parent, const std::string& name, CardDirEntry& entry)
{
    if (::fstatat(parent, name.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(walk, Step::examine, entry.path, errno);
    entry.type = entry_type_of(entry.st.st_mode);
    if (const int result = walk.visit(entry))
        return result;
    if (entry.type != EntryType::directory)
        return 0;
    // O_NOFOLLOW: a link put in the folder's place since it was examined fails (ENOTDIR).
    const OwnedFd fd(
        openat_noatime(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return fail(walk, Step::open, entry.path, errno);
    return enter_folder(walk, fd, entry);
}

int walk_folder(const Walk& walk, int fd, const std::string& relative, int level)
{
    std::vector<std::string> names;
    if (const int error = list_names(fd, names))
        return fail(walk, Step::list, join(walk.root, relative), error);
    for (const std::string& name : names) {
        CardDirEntry entry{"", join(relative, name), {}, EntryType::other, level};
        entry.path = join(walk.root, entry.relative);
        if (const int result = walk_entry(walk, fd, name, entry))
            return result;
    }
    return 0;
}

}  // namespace

int CardDir::walk(const Visitor& visit, CardDirFailure& failure) const
{
    const Walk walk{m_path, visit, failure};
    if (!m_fd)
        return fail(walk, Step::open, m_path, EBADF);
    CardDirEntry top{m_path, "", {}, EntryType::directory, 0};
    if (::fstat(m_fd.get(), &top.st) != 0)
        return fail(walk, Step::examine, m_path, errno);
    if (const int result = visit(top))
        return result;
    return walk_folder(walk, m_fd.get(), "", 1);
}

}  // namespace oakvane::posix
