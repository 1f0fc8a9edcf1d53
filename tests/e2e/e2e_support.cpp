#include "e2e_support.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <signal.h>
#include <sstream>
#include <string_view>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace oakvane::e2e {

namespace {

constexpr std::string_view kDngMagic = "STANDIN-DNG\n";
constexpr std::size_t kHashChunk = 1 << 20;

// The fields of /proc/<pid>/stat after the command name, which may itself hold blanks.
std::vector<std::string> proc_stat_fields(pid_t pid)
{
    const std::string text = test::read_file("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = text.rfind(')');
    std::vector<std::string> fields;
    if (close == std::string::npos)
        return fields;
    std::istringstream rest(text.substr(close + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

// The stand-in converter's header: magic, preview line, and "embedded" with -e.
std::string_view strip_dng_header(std::string_view dng)
{
    dng.remove_prefix(kDngMagic.size());
    dng.remove_prefix(dng.find('\n') + 1);
    if (dng.starts_with("embedded\n"))
        dng.remove_prefix(std::string_view("embedded\n").size());
    return dng;
}

// Word by word, which keeps up with reading even the 2 GiB test file; enough to tell a
// changed or shifted byte, which is all the tests ask.
std::size_t combine(std::size_t hash, std::string_view chunk)
{
    constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15ULL;
    std::uint64_t h = hash ^ (chunk.size() * kMultiplier);
    std::size_t i = 0;
    for (; i + 8 <= chunk.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, chunk.data() + i, 8);
        h = (std::rotl(h, 23) ^ word) * kMultiplier;
    }
    for (; i < chunk.size(); ++i)
        h = (std::rotl(h, 7) ^ static_cast<unsigned char>(chunk[i])) * kMultiplier;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

// What hash_file gives for a file holding these bytes, so that the raw inside a DNG can
// be compared with the card's raws.
std::size_t hash_bytes(std::string_view bytes)
{
    std::size_t hash = 0;
    for (bool first = true; first || !bytes.empty(); first = false) {
        const std::string_view chunk = bytes.substr(0, kHashChunk);
        hash = combine(hash, chunk);
        bytes.remove_prefix(chunk.size());
    }
    return hash;
}

}  // namespace

std::vector<std::string> IngestArgs::argv() const
{
    return {COPYCARD, "copy",   card,        backup,   primary,  converter, arrangement,
            texts[0], texts[1], texts[2],    texts[3], fmt,      preview,   embed,
            verify,   sidecar,  switches,    starting, user_folder};
}

std::vector<std::string> copycard_env(const std::vector<std::string>& env)
{
    std::vector<std::string> all_env = {"TZ=UTC"};
    all_env.insert(all_env.end(), env.begin(), env.end());
    return all_env;
}

ProcessResult run_copycard(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    return test::run_process(argv, copycard_env(env));
}

std::optional<ProcessResult> run_copycard_within(const IngestArgs& args,
                                                 const std::vector<std::string>& env,
                                                 std::chrono::milliseconds timeout)
{
    test::Process run(args.argv(), copycard_env(env));
    const pid_t pid = run.pid();
    if (!wait_for(run, [pid] { return has_exited(pid); }, timeout)) {
        run.send_signal(SIGKILL);
        run.wait();
        return std::nullopt;
    }
    return run.wait();
}

bool wait_for(test::Process& run, const std::function<bool()>& ready,
              std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline || has_exited(run.pid()))
            return ready();
        run.poll_out(2);
    }
    return true;
}

bool has_exited(pid_t pid)
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

ProcessResult run_copycard(const IngestArgs& args, const std::vector<std::string>& env)
{
    return run_copycard(args.argv(), env);
}

std::vector<std::string> output_lines(const std::string& out)
{
    static const std::regex timing(R"(^(\d+) files copied from card took \d+ min\. [0-5]?\d sec\.$)");
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(std::regex_replace(line, timing, "$1 files copied from card took <time>"));
    return lines;
}

std::vector<std::string> success_output(int images, const std::string& phase_line,
                                        const ReportCounts& c, const std::string& last_folder,
                                        int next_number)
{
    return {"Creating folders",
            "Copying files from card",
            std::to_string(images) + " files copied from card took <time>",
            phase_line,
            "",
            "Copying:",
            "    Raws converted to DNGs: " + std::to_string(c.converted),
            "    Files copied without conversion: " + std::to_string(c.unconverted),
            "",
            "Verification:",
            "    Raws verified: " + std::to_string(c.raws_verified),
            "    JPEGs verified: " + std::to_string(c.jpegs_verified),
            "    Files copied without error but unverified: " + std::to_string(c.unverified),
            "",
            "SUCCESSFUL INGESTION - no errors detected",
            "Last primary folder: " + last_folder,
            "Next starting number: " + std::to_string(next_number)};
}

std::vector<std::string> error_tail(const std::vector<std::string>& message_lines)
{
    std::vector<std::string> tail = {"", "ERROR:"};
    tail.insert(tail.end(), message_lines.begin(), message_lines.end());
    return tail;
}

std::vector<std::string> last_lines(const std::vector<std::string>& lines, std::size_t n)
{
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end()};
}

std::size_t hash_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(kHashChunk);
    std::size_t hash = 0;
    for (bool first = true;; first = false) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        if (got == 0 && !first)
            break;
        hash = combine(hash, std::string_view(chunk.data(), got));
        if (got < chunk.size())
            break;
    }
    return hash;
}

std::int64_t mtime_ns(const fs::path& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return -1;
    return std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

void set_mtime(const fs::path& path, std::time_t when) { cardgen::set_file_time(path, when); }

TreeState snapshot(const fs::path& root)
{
    TreeState state;
    state["/"] = {true, 0, 0, mtime_ns(root)};
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(entry.path(), root).string();
        EntryState s;
        s.mtime_ns = mtime_ns(entry.path());
        if (entry.symlink_status().type() == fs::file_type::directory) {
            s.directory = true;
            state[rel + "/"] = s;
            continue;
        }
        s.size = entry.file_size();
        s.hash = hash_file(entry.path());
        state[rel] = s;
    }
    return state;
}

std::vector<std::string> files_with_extension(const fs::path& root, const std::string& extension)
{
    std::vector<std::string> found;
    for (const std::string& rel : test::list_tree(root))
        if (fs::path(rel).extension() == extension)
            found.push_back(rel);
    return found;
}

std::vector<std::vector<std::string>> converter_runs(const fs::path& log)
{
    std::vector<std::vector<std::string>> runs;
    std::istringstream in(test::read_file(log));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> argv;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            argv.push_back(field);
        runs.push_back(argv);
    }
    return runs;
}

bool process_gone(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return true;
    // Killed but not yet reaped by whoever inherited it: it does nothing any more.
    const std::vector<std::string> fields = proc_stat_fields(pid);
    return fields.empty() || fields[0] == "Z" || fields[0] == "X";
}

pid_t read_pid(const fs::path& file)
{
    std::ifstream in(file);
    pid_t pid = 0;
    in >> pid;
    return in ? pid : 0;
}

pid_t parent_of(pid_t pid)
{
    const std::vector<std::string> fields = proc_stat_fields(pid);
    return fields.size() > 1 ? static_cast<pid_t>(std::stol(fields[1])) : 0;
}

std::uintmax_t available_memory()
{
    std::ifstream in("/proc/meminfo");
    for (std::string key; in >> key;) {
        std::uintmax_t kib = 0;
        in >> kib;
        if (key == "MemAvailable:")
            return kib * 1024;
        in.ignore(256, '\n');
    }
    return 0;
}

TmpfsMount::~TmpfsMount()
{
    if (!m_point.empty())
        ::umount2(m_point.c_str(), MNT_DETACH);
}

bool TmpfsMount::mount(const fs::path& point, std::uintmax_t size, std::string& why)
{
    fs::create_directories(point);
    const std::string options = "size=" + std::to_string(size);
    if (::mount("tmpfs", point.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why = "can't mount a tmpfs at " + point.string() + ": " + std::strerror(errno);
        return false;
    }
    m_point = point;
    return true;
}

E2eTest::E2eTest() { fs::create_directories(card_folder()); }

std::vector<cardgen::CardFile> E2eTest::make_card(const cardgen::CardLayout& layout)
{
    auto files = cardgen::make_card(card_root(), layout);
    card_done();
    return files;
}

void E2eTest::card_done() { m_card_before = snapshot(card_root()); }

void E2eTest::add_sparse(const std::string& rel, std::time_t when, std::uintmax_t size)
{
    const fs::path path = card_root() / rel;
    fs::create_directories(path.parent_path());
    std::ofstream(path).put('M');
    fs::resize_file(path, size);
    set_mtime(path, when);
}

void E2eTest::add_jpeg(const std::string& rel, std::time_t when, std::uint64_t seed)
{
    const fs::path path = card_root() / rel;
    fs::create_directories(path.parent_path());
    cardgen::JpegOptions options;
    options.width = 160;
    options.height = 120;
    options.seed = seed;
    cardgen::write_jpeg(path, options);
    cardgen::set_file_time(path, when);
}

void E2eTest::add_raw(const std::string& rel, std::time_t when, std::uintmax_t size, std::uint64_t seed)
{
    const fs::path path = card_root() / rel;
    fs::create_directories(path.parent_path());
    cardgen::write_dng_raw(path, size, seed);
    cardgen::set_file_time(path, when);
}

void E2eTest::add_bytes(const std::string& rel, std::time_t when, const std::string& content)
{
    const fs::path path = card_root() / rel;
    test::write_file(path, content);
    cardgen::set_file_time(path, when);
}

IngestArgs E2eTest::args() const
{
    IngestArgs a;
    a.card = card_folder().string();
    a.backup = backup().string();
    a.primary = primary().string();
    return a;
}

const std::string& E2eTest::template_text()
{
    // CR LF line ends and UTF-8 beyond ASCII: a sidecar must be a copy, byte for byte.
    static const std::string text =
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\r\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\r\n"
        " <rdf:RDF><rdf:Description dc:creator=\"Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m\"/></rdf:RDF>\r\n"
        "</x:xmpmeta>\r\n<?xpacket end=\"w\"?>";
    return text;
}

std::string E2eTest::template_path()
{
    const fs::path path = tmp() / "templates" / "Wedding Job.xmp";
    if (!m_template_made) {
        test::write_file(path, template_text());
        m_template_made = true;
    }
    return path.string();
}

void E2eTest::expect_card_unchanged() const
{
    const TreeState after = snapshot(card_root());
    ASSERT_FALSE(m_card_before.empty()) << "the test did not record the card";
    std::vector<std::string> changed;
    for (const auto& [rel, before] : m_card_before) {
        const auto it = after.find(rel);
        if (it == after.end())
            changed.push_back(rel + " (gone)");
        else if (it->second.size != before.size || it->second.hash != before.hash ||
                 it->second.mtime_ns != before.mtime_ns)
            changed.push_back(rel);
    }
    for (const auto& [rel, state] : after)
        if (!m_card_before.count(rel))
            changed.push_back(rel + " (new)");
    EXPECT_TRUE(changed.empty()) << "card entries changed: " << ::testing::PrintToString(changed);
}

void E2eTest::expect_only_complete_files(const fs::path& root,
                                         const std::vector<std::string>& preexisting) const
{
    for (const std::string& rel : test::list_tree(root)) {
        if (std::find(preexisting.begin(), preexisting.end(), rel) != preexisting.end())
            continue;
        const fs::path path = root / rel;
        if (path.extension() == ".xmp" && m_template_made) {
            EXPECT_EQ(test::read_file(path), template_text()) << "sidecar " << path;
            continue;
        }
        std::string dng;
        if (path.extension() == ".dng")
            dng = test::read_file(path);
        if (dng.starts_with(kDngMagic)) {
            const std::string_view raw = strip_dng_header(dng);
            const std::size_t raw_hash = hash_bytes(raw);
            bool whole = false;
            for (const auto& [card_rel, c] : m_card_before)
                whole = whole || (!c.directory && c.size == raw.size() && c.hash == raw_hash);
            EXPECT_TRUE(whole) << path << " is not a whole DNG of any card raw";
            continue;
        }
        const EntryState s{false, fs::file_size(path), hash_file(path), mtime_ns(path)};
        bool whole = false;
        for (const auto& [card_rel, c] : m_card_before)
            whole = whole || (!c.directory && c.size == s.size && c.hash == s.hash && c.mtime_ns == s.mtime_ns);
        EXPECT_TRUE(whole) << path << " (" << s.size
                           << " bytes) is not a finished copy of any card file";
    }
}

void E2eTest::expect_copy_of(const fs::path& path, const std::string& rel) const
{
    const auto it = m_card_before.find(rel);
    ASSERT_NE(it, m_card_before.end()) << "no card file " << rel;
    ASSERT_TRUE(fs::is_regular_file(path)) << path << " is missing";
    EXPECT_EQ(fs::file_size(path), it->second.size) << path;
    EXPECT_EQ(hash_file(path), it->second.hash) << path << " differs from " << rel;
    EXPECT_EQ(mtime_ns(path), it->second.mtime_ns) << path << " has not the time of " << rel;
}

}  // namespace oakvane::e2e
