// A stand-in for the outside DNG converter, for tests and demonstrations.
//
//   standin-converter -p0|-p1|-p2 [-e] -d <output folder> <raw file>...
//
// Writes <output folder>/<base name>.dng for each raw file, in order: a short text header
// ("STANDIN-DNG", "preview -pN", "embedded" with -e, one per line) and then the raw file's
// bytes. Exit status 0 on success, 1 when a raw file can't be read or the DNG can't be
// written (files before it stay written), 2 on a usage error.
//
// Environment variables that make it misbehave on purpose:
//   STANDIN_CONVERTER_FAIL      comma-separated substrings; a raw file whose name holds one
//                               fails as if it could not be read.
//   STANDIN_CONVERTER_DELAY_MS  sleep this long before each file.
//   STANDIN_CONVERTER_LOG       file to which each run appends its argv (argv[0] included),
//                               TAB-separated, as one line in one write.
//   STANDIN_CONVERTER_NOISE     write this many bytes to standard error before converting;
//                               byte i is "0123456789abcdefghijklmnopqrstuvwxyz\n"[i % 37].
//   STANDIN_CONVERTER_CHILD     fork a child that sleeps for 60 s and write its pid into this
//                               file (written whole, by rename) before converting.
//   STANDIN_CONVERTER_EMPTY     comma-separated substrings; a raw file whose name holds one
//                               gets an empty DNG, and the run still succeeds.
//   STANDIN_CONVERTER_EXTRA     also write a file of this name into the output folder.
//   STANDIN_CONVERTER_LATE      comma-separated substrings; a raw file whose name holds one
//                               gets the first half of its DNG, and a forked child writes
//                               the rest after STANDIN_CONVERTER_LATE_MS (default 60000)
//                               while the converter goes on and exits 0. With
//                               STANDIN_CONVERTER_LATE_QUIET set the child first lets go of
//                               standard output and error.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr std::string_view kNoisePattern = "0123456789abcdefghijklmnopqrstuvwxyz\n";

struct Options {
    std::string preview;
    bool embed = false;
    std::string out_dir;
    std::vector<std::string> files;
};

void complain(const std::string& text)
{
    std::fprintf(stderr, "standin-converter: %s\n", text.c_str());
}

std::optional<Options> parse(int argc, char** argv)
{
    Options opt;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-p0" || arg == "-p1" || arg == "-p2") {
            opt.preview = arg;
        } else if (arg == "-e") {
            opt.embed = true;
        } else if (arg == "-d" && i + 1 < argc) {
            opt.out_dir = argv[++i];
        } else {
            complain("unknown or incomplete switch " + std::string(arg));
            return std::nullopt;
        }
    }
    opt.files.assign(argv + i, argv + argc);
    if (opt.preview.empty() || opt.out_dir.empty() || opt.files.empty()) {
        complain("usage: standin-converter -p0|-p1|-p2 [-e] -d <output folder> <raw file>...");
        return std::nullopt;
    }
    return opt;
}

bool write_all(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(std::size_t(n));
    }
    return true;
}

// Numeric environment settings; a malformed value is a usage error, not a silent zero.
bool env_number(const char* name, long& value)
{
    value = 0;
    const char* text = std::getenv(name);
    if (!text || !*text)
        return true;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0) {
        complain(std::string("bad value for ") + name + ": " + text);
        return false;
    }
    return true;
}

bool log_invocation(int argc, char** argv)
{
    const char* path = std::getenv("STANDIN_CONVERTER_LOG");
    if (!path || !*path)
        return true;
    std::string line;
    for (int i = 0; i < argc; ++i)
        line.append(i ? "\t" : "").append(argv[i]);
    line += '\n';
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    // One write, so that lines of runs sharing a log never interleave.
    const bool ok = fd >= 0 && ::write(fd, line.data(), line.size()) == ssize_t(line.size());
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        complain(std::string("can't write log ") + path + ": " + std::strerror(errno));
    return ok;
}

bool make_noise(long bytes)
{
    std::string noise(std::size_t(bytes), '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = kNoisePattern[i % kNoisePattern.size()];
    return write_all(STDERR_FILENO, noise);
}

bool start_sleeping_child()
{
    const char* path = std::getenv("STANDIN_CONVERTER_CHILD");
    if (!path || !*path)
        return true;
    const pid_t pid = ::fork();
    if (pid < 0) {
        complain(std::string("fork failed: ") + std::strerror(errno));
        return false;
    }
    if (pid == 0) {
        ::sleep(60);
        ::_exit(0);
    }
    // Written under a temporary name, so a reader never sees half a number.
    const std::string temp = std::string(path) + ".tmp";
    std::ofstream(temp) << pid << '\n';
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec)
        complain("can't write " + std::string(path) + ": " + ec.message());
    return !ec;
}

bool listed_in(const char* variable, const std::string& file)
{
    const char* list = std::getenv(variable);
    if (!list)
        return false;
    std::istringstream items(list);
    std::string item;
    while (std::getline(items, item, ','))
        if (!item.empty() && file.find(item) != std::string::npos)
            return true;
    return false;
}

bool read_raw(const std::string& file, std::string& content)
{
    if (listed_in("STANDIN_CONVERTER_FAIL", file)) {
        complain("can't read " + file + ": simulated failure");
        return false;
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        complain("can't read " + file + ": " + std::strerror(errno));
        return false;
    }
    char chunk[65536];
    ssize_t n;
    while ((n = ::read(fd, chunk, sizeof chunk)) != 0) {
        if (n > 0)
            content.append(chunk, std::size_t(n));
        else if (errno != EINTR)
            break;
    }
    const int err = errno;
    ::close(fd);
    if (n < 0)
        complain("can't read " + file + ": " + std::strerror(err));
    return n == 0;
}

// The DNG as a converter that leaves its end to a helper process writes it.
bool write_late(const std::filesystem::path& out, std::string_view dng)
{
    long delay_ms = 60000;
    if (std::getenv("STANDIN_CONVERTER_LATE_MS") && !env_number("STANDIN_CONVERTER_LATE_MS", delay_ms))
        return false;
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !write_all(fd, dng.substr(0, dng.size() / 2))) {
        complain("can't write " + out.string() + ": " + std::strerror(errno));
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        complain(std::string("fork failed: ") + std::strerror(errno));
        return false;
    }
    if (pid == 0) {
        if (std::getenv("STANDIN_CONVERTER_LATE_QUIET")) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        ::_exit(write_all(fd, dng.substr(dng.size() / 2)) && ::close(fd) == 0 ? 0 : kFailed);
    }
    ::close(fd);
    return true;
}

bool convert(const Options& opt, const std::string& file)
{
    std::string raw;
    if (!read_raw(file, raw))
        return false;
    std::string dng = "STANDIN-DNG\npreview " + opt.preview + "\n";
    if (opt.embed)
        dng += "embedded\n";
    dng += raw;
    if (listed_in("STANDIN_CONVERTER_EMPTY", file))
        dng.clear();
    const std::filesystem::path out =
        std::filesystem::path(opt.out_dir) / std::filesystem::path(file).stem().concat(".dng");
    if (listed_in("STANDIN_CONVERTER_LATE", file))
        return write_late(out, dng);
    std::ofstream os(out, std::ios::binary | std::ios::trunc);
    os.write(dng.data(), std::streamsize(dng.size()));
    os.close();
    if (!os) {
        complain("can't write " + out.string() + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!log_invocation(argc, argv))
        return kFailed;
    const auto opt = parse(argc, argv);
    long delay_ms = 0;
    long noise_bytes = 0;
    if (!opt || !env_number("STANDIN_CONVERTER_DELAY_MS", delay_ms) ||
        !env_number("STANDIN_CONVERTER_NOISE", noise_bytes))
        return kUsage;
    if (!start_sleeping_child() || !make_noise(noise_bytes))
        return kFailed;
    if (const char* extra = std::getenv("STANDIN_CONVERTER_EXTRA"))
        std::ofstream(std::filesystem::path(opt->out_dir) / extra) << "extra\n";
    for (const auto& file : opt->files) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        if (!convert(*opt, file))
            return kFailed;
    }
    return 0;
}
