#include "dirlist.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>

namespace oakvane::posix {

namespace {

// Adds the names in folder to names; 0, or the errno of the open or read that failed.
int read_names(const std::string& folder, std::vector<std::string>& names)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return errno == ENOENT ? 0 : errno;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry)
            return errno;  // read before closedir can change it
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
}

}  // namespace

std::vector<std::string> list_directory(const std::string& folder, bool* ok)
{
    std::vector<std::string> names;
    const int error = read_names(folder, names);
    if (ok)
        *ok = error == 0;
    if (error != 0)
        errno = error;
    return names;
}

}  // namespace oakvane::posix
