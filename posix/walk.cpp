#include "walk.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ftw.h>
#include <memory>

namespace oakvane::posix {

namespace {

// nftw takes a plain function with no context argument; the walk in progress on this
// thread is reached through this pointer. A walk never starts another walk.
thread_local const WalkVisitor* t_visitor = nullptr;

EntryType type_of(int flag, const struct stat& st)
{
    if (flag == FTW_D)
        return EntryType::directory;
    if (flag == FTW_SL || flag == FTW_SLN || S_ISLNK(st.st_mode))
        return EntryType::link;
    return S_ISREG(st.st_mode) ? EntryType::file : EntryType::other;
}

int visit_entry(const char* path, const struct stat* st, int flag, struct FTW* ftw)
{
    switch (flag) {
    case FTW_D:
    case FTW_F:
    case FTW_SL:
    case FTW_SLN:
        return (*t_visitor)({path, *st, type_of(flag, *st), ftw->base, ftw->level});
    default:  // FTW_DNR, FTW_NS: something we can't read
        return -1;
    }
}

}  // namespace

int walk_tree(const char* root, const WalkVisitor& visit)
{
    struct stat st;
    if (::lstat(root, &st) != 0)
        return -1;
    // Only the start path is followed: the user may well name a linked folder.
    std::unique_ptr<char, decltype(&std::free)> resolved(nullptr, &std::free);
    if (S_ISLNK(st.st_mode)) {
        resolved.reset(::realpath(root, nullptr));
        if (!resolved || ::lstat(resolved.get(), &st) != 0)
            return -1;
        root = resolved.get();
    }
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return -1;
    }
    const WalkVisitor* outer = t_visitor;
    t_visitor = &visit;
    int result = nftw(root, visit_entry, 16, FTW_PHYS);
    t_visitor = outer;
    return result;
}

}  // namespace oakvane::posix
