#include "dirlist.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>

namespace oakvane::posix {

std::vector<std::string> list_directory(const std::string& folder, bool* ok)
{
    std::vector<std::string> names;
    if (ok)
        *ok = true;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return names;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0 && ok)
                *ok = false;
            break;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    return names;
}

}  // namespace oakvane::posix
