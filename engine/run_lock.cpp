#include "run_lock.h"

#include "run_state.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace oakvane {

int lock_tree(const std::string& root, UniqueFd& lock)
{
    if (lock)
        return 1;
    UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return record_errno_error("Can't lock folder: \"" + root + "\"", root, errno);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return record_error("Another ingestion is writing into \"" + root + "\"");
        // A file system without locks (some network ones) still lets the run go on.
        trace("can't lock " + root);
    }
    lock = std::move(fd);
    return 1;
}

}  // namespace oakvane
