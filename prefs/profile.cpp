#include "profile.h"

#include "ini_lines.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace oakvane {

namespace fs = std::filesystem;

namespace {

QString qstr(const std::string& s) { return QString::fromStdString(s); }

class TempFile {
public:
    explicit TempFile(std::string path) : m_path(std::move(path))
    {
        m_fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    ~TempFile()
    {
        if (m_fd >= 0)
            close(m_fd);
        if (!m_kept)
            unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Writes text and flushes it; the copy of an old file takes over its permissions.
    bool write_all(const std::string& text, const struct stat* old_file)
    {
        if (m_fd < 0 || (old_file && fchmod(m_fd, old_file->st_mode & 07777) != 0))
            return false;
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = write(m_fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        const bool dated = !old_file || mark_newer_than(old_file->st_mtim);
        const bool flushed = fsync(m_fd) == 0;
        const bool closed = close(m_fd) == 0;
        m_fd = -1;
        return dated && flushed && closed;
    }
    bool publish_as(const std::string& path)
    {
        m_kept = rename(m_path.c_str(), path.c_str()) == 0;
        return m_kept;
    }

private:
    // The INI reader keeps files it has read and reads one again only when its size or its
    // time to the millisecond changed. A new value of the same length written within the same
    // millisecond would go unseen, so every version gets a later millisecond than the last.
    bool mark_newer_than(const timespec& old)
    {
        constexpr long kMs = 1000000;
        timespec times[2]{{0, UTIME_OMIT}, {}};
        clock_gettime(CLOCK_REALTIME, &times[1]);
        const auto ms = [](const timespec& t) { return t.tv_sec * 1000LL + t.tv_nsec / kMs; };
        if (ms(times[1]) <= ms(old)) {
            const long long later = ms(old) + 1;
            times[1] = {static_cast<time_t>(later / 1000), static_cast<long>(later % 1000) * kMs};
        }
        return futimens(m_fd, times) == 0;
    }

    std::string m_path;
    int m_fd = -1;
    bool m_kept = false;
};

// The whole file, or none when it exists but cannot be read; a missing file is empty.
std::optional<std::string> file_text(const std::string& path)
{
    std::error_code ec;
    if (fs::status(path, ec).type() == fs::file_type::not_found)
        return std::string();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return text.str();
}

bool sync_folder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

// Sets one line of the file through a flushed copy renamed over it. A profile reached through
// a symbolic link is changed where the link leads, and keeps its permissions.
bool write_value(const std::string& profile, const std::string& section, const std::string& key,
                 const std::string& value_text)
{
    std::error_code ec;
    const bool link = fs::symlink_status(profile, ec).type() == fs::file_type::symlink;
    const fs::path path = link ? fs::canonical(profile, ec) : fs::path(profile);
    if (link && ec)
        return false;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : ".";
    fs::create_directories(folder, ec);
    const std::optional<std::string> old_text = file_text(path);
    if (ec || !old_text)
        return false;
    struct stat old_file{};
    const bool existed = stat(path.c_str(), &old_file) == 0;
    static std::atomic<unsigned> copies{0};
    TempFile copy(path.string() + ".tmp-" + std::to_string(getpid()) + "-" +
                  std::to_string(++copies));
    return copy.write_all(with_ini_value(*old_text, section, key, value_text),
                          existed ? &old_file : nullptr) &&
           copy.publish_as(path) && sync_folder(folder);
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool same_name(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

}  // namespace

int number_or(const std::optional<std::string>& text, int dflt)
{
    return text ? std::atoi(text->c_str()) : dflt;
}

std::optional<std::string> Profile::read_plain(const std::string& section,
                                               const std::string& key) const
{
    std::ifstream in(m_path);
    bool in_section = false;
    for (std::string line; std::getline(in, line);) {
        line = trimmed(line);
        if (line.starts_with('[') && line.ends_with(']')) {
            in_section = same_name(trimmed(line.substr(1, line.size() - 2)), section);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!in_section || line.starts_with(';') || equals == std::string::npos ||
            !same_name(trimmed(line.substr(0, equals)), key))
            continue;
        std::string value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::optional<std::string> Profile::read(const std::string& section, const std::string& key) const
{
    QSettings settings(qstr(m_path), QSettings::IniFormat);
    settings.beginGroup(qstr(section));
    if (!settings.contains(qstr(key)))
        return std::nullopt;
    const QVariant value = settings.value(qstr(key));
    // An unquoted comma in a hand-written value makes the INI reader split it into a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(",")).toStdString();
    return value.toString().toStdString();
}

bool Profile::write_string(const std::string& section, const std::string& key,
                           const std::string& value) const
{
    return write_value(m_path, section, key, ini_value_text(value));
}

bool Profile::write_int(const std::string& section, const std::string& key, int value) const
{
    return write_value(m_path, section, key, std::to_string(value));
}

}  // namespace oakvane
