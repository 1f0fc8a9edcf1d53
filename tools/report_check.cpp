#include "report_check.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace oakvane {

// The report is written as a temporary file beside path and renamed over it: the folder must
// take a new file, and path, when it exists, must not be a folder.
std::string report_destination_problem(const std::string& path)
{
    const std::filesystem::path target(path);
    if (path.empty() || !target.has_filename())
        return "no file name given";
    const std::filesystem::path folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    struct stat about{};
    if (stat(folder.c_str(), &about) != 0)
        return "the folder " + folder.string() + " can't be reached (" + std::strerror(errno) +
               "); create it first";
    if (!S_ISDIR(about.st_mode))
        return folder.string() + " is not a folder";
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "the folder " + folder.string() + " does not take new files (" +
               std::strerror(errno) + ")";
    if (stat(path.c_str(), &about) == 0 && S_ISDIR(about.st_mode))
        return path + " is a folder";
    return "";
}

}  // namespace oakvane
