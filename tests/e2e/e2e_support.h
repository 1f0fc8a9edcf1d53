#pragma once
// Shared by the end-to-end tests: a card on disk with its state before the run, the
// copycard argument vector, the exact output of a run, and the checks that every run
// must pass (card untouched, nothing half-written left behind).

#include "cardgen.h"
#include "process.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace oakvane::e2e {

namespace fs = std::filesystem;
namespace cardgen = oakvane::cardgen;
using test::ProcessResult;

// The 18 arguments after the program name, named as copycard's usage names them.
// The defaults are what the desktop application passes for a plain ingestion.
struct IngestArgs {
    std::string card;
    std::string backup;
    std::string primary;
    std::string converter = "none";
    std::string arrangement = "1";
    std::array<std::string, 4> texts = {"IMG", "Job", "Three", "Four"};
    std::string fmt = "SDNE";
    std::string preview = "-p1";
    std::string embed;
    std::string verify = "-";
    std::string sidecar;
    std::string switches = "---";
    std::string starting = "1";
    std::string user_folder = "Wedding";

    // The whole vector, copycard's own path first: 19 entries.
    std::vector<std::string> argv() const;
};

// Runs copycard with TZ=UTC (date folders and names then do not depend on the machine)
// and the extra "NAME=value" entries.
ProcessResult run_copycard(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env = {});
ProcessResult run_copycard(const IngestArgs& args, const std::vector<std::string>& env = {});
// The environment run_copycard gives: TZ=UTC and the extra entries.
std::vector<std::string> copycard_env(const std::vector<std::string>& env = {});

// A run that must end by itself: nullopt (and the run killed) when it has not ended
// within timeout, which then means it hung.
std::optional<ProcessResult> run_copycard_within(const IngestArgs& args,
                                                 const std::vector<std::string>& env,
                                                 std::chrono::milliseconds timeout);

// Collects the output of a started run until ready() holds, the run ends or timeout
// passes; returns ready().
bool wait_for(test::Process& run, const std::function<bool()>& ready,
              std::chrono::milliseconds timeout);

// True once the process has ended, without reaping it.
bool has_exited(pid_t pid);

// Standard output as lines, with the backup pass's elapsed time (which may be a second
// or more on a loaded machine) replaced by "<time>", so whole outputs compare exactly.
std::vector<std::string> output_lines(const std::string& out);

struct ReportCounts {
    int converted = 0;
    int unconverted = 0;
    int raws_verified = 0;
    int jpegs_verified = 0;
    int unverified = 0;
};

// The whole standard output of a successful run.
std::vector<std::string> success_output(int images, const std::string& phase_line,
                                        const ReportCounts& counts, const std::string& last_folder,
                                        int next_number);

// The lines a failed run ends with: an empty line, "ERROR:" and the message lines.
std::vector<std::string> error_tail(const std::vector<std::string>& message_lines);

// The last n lines (all of them when there are fewer).
std::vector<std::string> last_lines(const std::vector<std::string>& lines, std::size_t n);

struct EntryState {
    bool directory = false;
    std::uintmax_t size = 0;
    std::size_t hash = 0;
    std::int64_t mtime_ns = 0;
};
// Every entry below a root (folders with a trailing "/"), with content hash and time.
using TreeState = std::map<std::string, EntryState>;
TreeState snapshot(const fs::path& root);

std::size_t hash_file(const fs::path& path);
std::int64_t mtime_ns(const fs::path& path);
void set_mtime(const fs::path& path, std::time_t when);

// Regular files below root whose extension (with the dot) equals extension exactly.
std::vector<std::string> files_with_extension(const fs::path& root, const std::string& extension);

// The converter's argument vectors, one per process it ran, from its log file.
std::vector<std::vector<std::string>> converter_runs(const fs::path& log);

// True when pid has ended (a zombie waiting for its parent counts as ended).
bool process_gone(pid_t pid);

// Reads a decimal pid that the stand-in converter wrote; 0 when the file is not there.
pid_t read_pid(const fs::path& file);
pid_t parent_of(pid_t pid);

// MemAvailable of /proc/meminfo in bytes (0 when unknown).
std::uintmax_t available_memory();

// A tmpfs mounted for one test; unmounted when it goes away.
class TmpfsMount {
public:
    TmpfsMount() = default;
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    // Mounts a tmpfs of size bytes at point (created first); on failure why says so.
    bool mount(const fs::path& point, std::uintmax_t size, std::string& why);

private:
    fs::path m_point;
};

// A fresh folder with a card, a backup and a primary root in it. The card's state is
// taken when it is made, so that every test can check that the run left it untouched.
class E2eTest : public ::testing::Test {
protected:
    E2eTest();

    fs::path card_root() const { return m_tmp.path() / "card"; }
    fs::path card_folder() const { return card_root() / "DCIM"; }
    fs::path backup() const { return m_tmp.path() / "backup"; }
    fs::path primary() const { return m_tmp.path() / "primary"; }
    fs::path tmp() const { return m_tmp.path(); }
    std::string in_tmp(const std::string& name) const { return (m_tmp.path() / name).string(); }

    // Makes the card and records its state.
    std::vector<cardgen::CardFile> make_card(const cardgen::CardLayout& layout);
    // Records the state of a card put together by hand below card_root().
    void card_done();
    // One card file by hand, dated when (relative path below card_root()).
    void add_jpeg(const std::string& rel, std::time_t when, std::uint64_t seed = 1);
    void add_raw(const std::string& rel, std::time_t when, std::uintmax_t size, std::uint64_t seed);
    void add_bytes(const std::string& rel, std::time_t when, const std::string& content);
    // A large file that costs nothing to make: sparse on the card, size bytes long.
    void add_sparse(const std::string& rel, std::time_t when, std::uintmax_t size);

    IngestArgs args() const;

    // The metadata template every sidecar must equal; made on first use.
    std::string template_path();
    static const std::string& template_text();

    void expect_card_unchanged() const;
    // Every file below root is whole: equal to a card file (same bytes and time), a
    // sidecar equal to the template, or a stand-in DNG holding a card raw. Files the test
    // put there itself (relative to root) are left out.
    void expect_only_complete_files(const fs::path& root,
                                    const std::vector<std::string>& preexisting = {}) const;
    // The copy at path equals the card file at rel, bytes and modification time.
    void expect_copy_of(const fs::path& path, const std::string& rel) const;

    const TreeState& card_before() const { return m_card_before; }

private:
    test::TempDir m_tmp;
    TreeState m_card_before;
    bool m_template_made = false;
};

}  // namespace oakvane::e2e
