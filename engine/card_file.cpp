#include "card_file.h"

#include "run_state.h"

#include <cerrno>
#include <fcntl.h>

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
