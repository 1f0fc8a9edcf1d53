#include "walk.h"

#include <ftw.h>

namespace oakvane::posix {

namespace {

// nftw takes a plain function with no context argument; the walk in progress on this
// thread is reached through this pointer. A walk never starts another walk.
thread_local const WalkVisitor* t_visitor = nullptr;

int visit_entry(const char* path, const struct stat* st, int flag, struct FTW* ftw)
{
    struct stat target;
    switch (flag) {
    case FTW_D:
        return (*t_visitor)({path, *st, EntryType::directory, ftw->base, ftw->level});
    case FTW_F:
        return (*t_visitor)({path, *st, EntryType::file, ftw->base, ftw->level});
    case FTW_SL:
        // A link is taken for what it points to, as a copy of it would be.
        if (stat(path, &target) != 0)
            return -1;
        return (*t_visitor)({path, target, S_ISDIR(target.st_mode) ? EntryType::directory
                                                                   : EntryType::file,
                             ftw->base, ftw->level});
    default:  // FTW_DNR, FTW_NS, FTW_SLN: something we can't read
        return -1;
    }
}

}  // namespace

int walk_tree(const char* root, const WalkVisitor& visit)
{
    const WalkVisitor* outer = t_visitor;
    t_visitor = &visit;
    int result = nftw(root, visit_entry, 16, FTW_PHYS);
    t_visitor = outer;
    return result;
}

}  // namespace oakvane::posix
