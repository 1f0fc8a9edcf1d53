#include "checked_plan_writer.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oakvane {

int CheckedPlanWriter::make_dir(const std::string& path)
{
    if (!path_exists(path)) {
        if (const int err = check_name(path); err != 0)
            return refuse(err);
        if (const int err = check_writable(nearest_existing(folder_of(path))); err != 0)
            return refuse(err);
    }
    return PlanWriter::make_dir(path);
}

int CheckedPlanWriter::stage(const std::string& folder, StagedFile& file)
{
    // A folder the run would make itself was checked when it was asked for.
    if (path_exists(folder))
        if (const int err = check_writable(folder); err != 0)
            return refuse(err);
    return PlanWriter::stage(folder, file);
}

int CheckedPlanWriter::publish(StagedFile& file, const std::string& final_path)
{
    if (const int err = check_name(final_path); err != 0)
        return refuse(err);
    return PlanWriter::publish(file, final_path);
}

int CheckedPlanWriter::rename_folder(const std::string& from, const std::string& to)
{
    if (const int err = check_name(to); err != 0)
        return refuse(err);
    return PlanWriter::rename_folder(from, to);
}

int CheckedPlanWriter::check_name(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return ENAMETOOLONG;
    const std::string name = file_name_of(path);
    const std::string existing = nearest_existing(folder_of(path));
    if (existing.empty())
        return errno != 0 ? errno : ENOENT;
    return static_cast<long>(name.size()) > name_max(existing) ? ENAMETOOLONG : 0;
}

int CheckedPlanWriter::check_writable(const std::string& folder)
{
    if (folder.empty())
        return errno != 0 ? errno : ENOENT;
    if (const auto known = m_writable.find(folder); known != m_writable.end())
        return known->second;
    struct stat st;
    int err = 0;
    if (::stat(folder.c_str(), &st) != 0)
        err = errno;
    else if (!S_ISDIR(st.st_mode))
        err = ENOTDIR;
    // The rights of the process as it will write; a read-only mount gives EROFS.
    else if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        err = errno;
    m_writable.emplace(folder, err);
    return err;
}

long CheckedPlanWriter::name_max(const std::string& folder)
{
    if (const auto known = m_name_max.find(folder); known != m_name_max.end())
        return known->second;
    long most = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (most <= 0)
        most = NAME_MAX;
    m_name_max.emplace(folder, most);
    return most;
}

}  // namespace oakvane
