#include "mounts.h"

#include "process.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace oakvane::test {

namespace {

// Before main, while the process has a single thread, which unshare requires. Where it is
// not allowed the tests mount in the machine's namespace and their guards clean up.
const bool g_private_namespace = [] {
    if (unshare(CLONE_NEWNS) != 0)
        return false;
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}();

std::string tool(const std::string& name)
{
    for (const char* dir : {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}) {
        const std::string path = std::string(dir) + "/" + name;
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return name;
}

std::string run(std::vector<std::string> argv, const std::vector<std::string>& env = {})
{
    argv[0] = tool(argv[0]);
    try {
        const ProcessResult r = run_process(argv, env);
        if (r.exit_code == 0)
            return {};
        return argv[0] + " failed: " + r.err + r.out;
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace

bool private_mount_namespace() { return g_private_namespace; }

std::string mount_refusal(const std::string& dir)
{
    const std::string probe = dir + "/mount-probe";
    fs::create_directories(probe);
    if (mount("tmpfs", probe.c_str(), "tmpfs", 0, "size=64k") != 0)
        return std::string("this process may not mount (") + std::strerror(errno) + ")";
    umount2(probe.c_str(), 0);
    return {};
}

Mount::Mount(const std::vector<std::string>& source, std::string mount_point,
             const std::vector<std::string>& env)
    : m_mount_point(std::move(mount_point))
{
    std::vector<std::string> argv{"mount"};
    argv.insert(argv.end(), source.begin(), source.end());
    argv.push_back(m_mount_point);
    fs::create_directories(m_mount_point);
    m_error = run(argv, env);
    m_mounted = m_error.empty();
}

Mount::~Mount()
{
    if (m_mounted && !unmount())
        umount2(m_mount_point.c_str(), MNT_DETACH);  // busy: detach rather than leave it
}

bool Mount::unmount()
{
    if (!m_mounted)
        return true;
    if (umount2(m_mount_point.c_str(), 0) != 0) {
        m_error = "umount " + m_mount_point + ": " + std::strerror(errno);
        return false;
    }
    m_mounted = false;
    return true;
}

std::string make_ext2_image(const std::string& image, const std::string& label,
                            const std::vector<std::string>& folders)
{
    const std::string content = image + ".content";
    for (const std::string& folder : folders)
        fs::create_directories(content + "/" + folder);
    fs::create_directories(content);
    return make_ext2_image_of(image, label, content, "4M");
}

std::string make_ext2_image_of(const std::string& image, const std::string& label,
                               const std::string& content, const std::string& size)
{
    std::error_code ec;
    fs::remove(image, ec);
    std::vector<std::string> argv{"mkfs.ext2", "-q", "-F"};
    if (!label.empty())
        argv.insert(argv.end(), {"-L", label});
    argv.insert(argv.end(), {"-d", content, image, size});
    return run(argv);
}

}  // namespace oakvane::test
