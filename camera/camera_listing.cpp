#include "camera_listing.h"

#include <strings.h>
#include <sys/stat.h>

namespace oakvane::camera {

namespace {

enum class Entries { files, folders };

Status list_names(Connection& connection, const std::string& folder, Entries entries,
                  std::vector<std::string>& names)
{
    const GpList list = new_list();
    if (!list)
        return fail("libgphoto2 can't make a list");
    Camera* camera = connection.camera.get();
    GPContext* context = connection.context.get();
    const int listed = entries == Entries::files
                           ? gp_camera_folder_list_files(camera, folder.c_str(), list.get(), context)
                           : gp_camera_folder_list_folders(camera, folder.c_str(), list.get(), context);
    if (listed < GP_OK)
        return fail("Can't list the camera folder \"" + folder + "\" (" + gp_text(listed) + ")");
    names.clear();
    for (int i = 0; i < gp_list_count(list.get()); ++i) {
        const char* name = nullptr;
        if (const int got = gp_list_get_name(list.get(), i, &name); got < GP_OK || !name)
            return fail("Can't list the camera folder \"" + folder + "\" (" + gp_text(got) + ")");
        names.emplace_back(name);
    }
    return {};
}

std::string child(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool is_dcim(const std::string& name) { return ::strcasecmp(name.c_str(), "DCIM") == 0; }

CardItem folder_item(const std::string& folder, const std::string& prefix, int level)
{
    CardItem item;
    item.path = prefix + folder;
    item.relative = folder.substr(1);
    item.st.st_mode = S_IFDIR | 0555;
    item.type = posix::EntryType::directory;
    item.level = level;
    return item;
}

Status walk(Connection& connection, const std::string& folder, const std::string& prefix, int level,
            const CardSource::Visitor& visit)
{
    if (Status visited = visit(folder_item(folder, prefix, level)); !visited)
        return visited;
    std::vector<std::string> names;
    if (Status listed = list_names(connection, folder, Entries::files, names); !listed)
        return listed;
    for (const std::string& name : names) {
        CardItem item;
        if (Status known = camera_file_item(connection, child(folder, name), prefix, level + 1, item); !known)
            return known;
        if (Status visited = visit(item); !visited)
            return visited;
    }
    if (Status listed = list_names(connection, folder, Entries::folders, names); !listed)
        return listed;
    for (const std::string& name : names)
        if (Status walked = walk(connection, child(folder, name), prefix, level + 1, visit); !walked)
            return walked;
    return {};
}

}  // namespace

Status find_dcim_folders(Connection& connection, std::vector<std::string>& roots)
{
    roots.clear();
    std::vector<std::string> top;
    if (Status listed = list_names(connection, "/", Entries::folders, top); !listed)
        return listed;
    // A camera's storages (card slots, internal memory) sit at the top, each with its DCIM;
    // a folder read as a camera has its DCIM right there.
    for (const std::string& name : top) {
        if (is_dcim(name)) {
            roots.push_back(child("/", name));
            continue;
        }
        std::vector<std::string> inner;
        if (Status listed = list_names(connection, child("/", name), Entries::folders, inner); !listed)
            return listed;
        for (const std::string& dcim : inner)
            if (is_dcim(dcim))
                roots.push_back(child(child("/", name), dcim));
    }
    if (roots.empty())
        return fail("The camera " + connection.model + " at " + connection.port +
                    " shows no DCIM folder: no photos to ingest");
    return {};
}

Status walk_camera_folder(Connection& connection, const std::string& root, const std::string& prefix,
                          const CardSource::Visitor& visit)
{
    return walk(connection, root, prefix, 0, visit);
}

Status camera_file_item(Connection& connection, const std::string& camera_path, const std::string& prefix,
                        int level, CardItem& item)
{
    const std::size_t slash = camera_path.rfind('/');
    const std::string folder = slash == 0 ? "/" : camera_path.substr(0, slash);
    const std::string name = camera_path.substr(slash + 1);
    item.path = prefix + camera_path;
    CameraFileInfo info{};
    if (const int got = gp_camera_file_get_info(connection.camera.get(), folder.c_str(), name.c_str(), &info,
                                                connection.context.get());
        got < GP_OK)
        return fail("Can't read the camera file's size and time: \"" + item.path + "\" (" + gp_text(got) + ")");
    // Without its size no copy could be checked, without its time it would be filed wrongly.
    const int needed = GP_FILE_INFO_SIZE | GP_FILE_INFO_MTIME;
    if ((info.file.fields & needed) != needed)
        return fail("The camera gives no size or time for \"" + item.path + "\"");
    item.relative = camera_path.substr(1);
    item.st = {};
    item.st.st_mode = S_IFREG | 0444;
    item.st.st_size = static_cast<off_t>(info.file.size);
    item.st.st_mtim.tv_sec = info.file.mtime;
    item.st.st_atim = item.st.st_mtim;
    item.type = posix::EntryType::file;
    item.level = level;
    return {};
}

}  // namespace oakvane::camera
