#include "card_file.h"

#include "run_state.h"

#include <cerrno>
#include <fcntl.h>
#include <strings.h>

namespace oakvane {

int classify_card_entry(const posix::WalkEntry& entry)
{
    if (entry.level > 0 && entry.name().starts_with('.'))
        return 0;
    switch (entry.type) {
    case posix::EntryType::directory: return 0;
    case posix::EntryType::file: return 1;
    case posix::EntryType::link:
        // Following it could read outside the card or loop; leaving it out would lose it.
        record_error(std::string("Link on card: \"") + entry.path + "\"");
        return -1;
    default:
        record_error(std::string("Not a regular file on card: \"") + entry.path + "\"");
        return -1;
    }
}

namespace {

// path without its extension; "" when its name has none.
std::string without_extension(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(0, dot);
}

}  // namespace

void note_card_sidecar(const std::string& path)
{
    if (path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".xmp") == 0)
        run_state().card_sidecars.insert(without_extension(path));
}

bool has_card_sidecar(const std::string& path)
{
    const std::string stem = without_extension(path);
    return !stem.empty() && run_state().card_sidecars.contains(stem);
}

int open_card_file(const std::string& path, const struct stat& seen, UniqueFd& fd)
{
    // O_NONBLOCK: should a FIFO have taken the file's place, opening it must not hang.
    fd.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return record_errno_error("can't open", path, errno);
    struct stat now;
    if (::fstat(fd.get(), &now) != 0)
        return record_errno_error("can't open", path, errno);
    if (!S_ISREG(now.st_mode) || now.st_dev != seen.st_dev || now.st_ino != seen.st_ino) {
        fd.reset();
        return record_error("Card file changed during the run: \"" + path + "\"");
    }
    return 1;
}

}  // namespace oakvane
