#include "new_file.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace oakvane {

namespace {

// More reports of one card in one second than any station makes: a folder that has them all
// is more likely to be failing in some way this loop can't see.
constexpr int kMaxNames = 10000;

std::string error_text(int error) { return std::generic_category().message(error); }

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    // The result of close: a file system may report a failed write only here.
    int close()
    {
        const int result = m_fd >= 0 ? ::close(m_fd) : 0;
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

// A file under a temporary name in the folder, until it is given its own name or discarded.
class TempFile {
public:
    TempFile() = default;
    // Still named only when unwinding: the failure that unwound is the one to report.
    ~TempFile()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return m_path; }

    bool write(const std::string& folder, std::string_view bytes, std::string& why)
    {
        // A name another writer holds is stepped over (O_EXCL), so no count need outlive the call.
        for (int tries = 1; tries <= 100; ++tries) {
            const std::string path = folder + "/.oakvane-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(tries) + ".tmp";
            Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd.get() < 0 && errno == EEXIST)
                continue;
            if (fd.get() < 0) {
                why = error_text(errno);
                return false;
            }
            m_path = path;
            return write_all(fd, bytes, why);
        }
        why = "no free temporary name";
        return false;
    }

    // The temporary name has become the file's name.
    void renamed() { m_path.clear(); }

    // Removes the temporary name; false with the reason added to why when it stays.
    bool discard(std::string& why)
    {
        const std::string path = std::move(m_path);
        m_path.clear();
        if (path.empty() || ::unlink(path.c_str()) == 0)
            return true;
        why += (why.empty() ? "" : "; ") + std::string("the temporary file \"") + path +
               "\" could not be removed: " + error_text(errno);
        return false;
    }

private:
    static bool write_all(Descriptor& fd, std::string_view bytes, std::string& why)
    {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd.get(), bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0) {
                why = error_text(errno);
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        if (::fsync(fd.get()) != 0 || fd.close() != 0) {
            why = error_text(errno);
            return false;
        }
        return true;
    }

    std::string m_path;
};

enum class Given { renamed, linked };

// Gives the file at from the name to, never replacing an entry there. Where renameat2 takes no
// flags (NFS, 9p, many FUSE file systems) a link does the same, and from is left to remove.
// 0 when given, otherwise the error (EEXIST: the name is taken).
int give_name(const std::string& from, const std::string& to, Given& given)
{
    given = Given::renamed;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    given = Given::linked;
    return ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

bool sync_folder_of(const std::string& path, std::string& why)
{
    const std::string folder = folder_of(path);
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0 && (::fsync(fd.get()) == 0 || errno == EINVAL))
        return true;
    why = "can't flush the folder \"" + folder + "\": " + error_text(errno);
    return false;
}

bool write_new_file(const std::string& folder, const std::function<std::string(int)>& name,
                    std::string_view bytes, std::string& path, std::string& why)
{
    TempFile temp;
    if (!temp.write(folder, bytes, why))
        return temp.discard(why), false;
    for (int n = 0; n < kMaxNames; ++n) {
        path = folder + "/" + name(n);
        Given given = Given::renamed;
        const int error = give_name(temp.path(), path, given);
        if (error == EEXIST)
            continue;
        if (error != 0) {
            why = "can't name it \"" + path + "\": " + error_text(error);
            return temp.discard(why), false;
        }
        if (given == Given::renamed)
            temp.renamed();
        std::string left;
        temp.discard(left);
        const bool synced = sync_folder_of(path, why);
        why = synced ? left : left.empty() ? why : why + "; " + left;
        return synced;
    }
    why = "every name is taken";
    return temp.discard(why), false;
}

}  // namespace oakvane
