#include "errtrace.h"
#include "proper.h"
#include "temp_dir.h"

#include "failing_new.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <sys/mount.h>
#include <sys/stat.h>
#include <utime.h>
#include <vector>

namespace fs = std::filesystem;
using oakvane::test::read_file;
using oakvane::test::TempDir;
using oakvane::test::write_file;

using oakvane::test::fail_from_size;

namespace {

struct Trace {
    int line;
    std::string expression;
    int errno_value;
};

// The trace is never emptied: a test looks at the entries pushed since it started.
class TraceWatch {
public:
    TraceWatch() : m_before(ec_entries().size()) {}
    // Newest first, as the trace prints them.
    std::vector<Trace> added() const
    {
        const std::vector<ec_entry> all = ec_entries();
        std::vector<Trace> result;
        const std::string prefix = "[fcn???] [proper/proper.cpp:";
        for (std::size_t i = 0; i + m_before < all.size(); ++i) {
            const std::string& text = all[i].text;
            EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
            const std::size_t close = text.find("] ", prefix.size());
            result.push_back({std::stoi(text.substr(prefix.size(), close - prefix.size())),
                              text.substr(close + 2), all[i].errno_value});
        }
        return result;
    }

private:
    std::size_t m_before;
};

// The one entry a failing operation recorded: its location, its expression and its errno.
void expect_one_entry(const TraceWatch& trace, int line, const std::string& expression,
                      int errno_value)
{
    const std::vector<Trace> added = trace.added();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].line, line);
    EXPECT_EQ(added[0].expression, expression);
    EXPECT_EQ(added[0].errno_value, errno_value);
}

std::string ctime_text(std::time_t t)
{
    char buf[32];
    return ctime_r(&t, buf);
}

class Store : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(PropInit(m_dir / "store")); }
    void TearDown() override { PropTerm(); }

    fs::path set_file(const std::string& name, const std::string& category = "Main") const
    {
        return m_dir.path() / "store" / category / name;
    }
    std::string file_text(const std::string& name) const { return read_file(set_file(name)); }
    void make_set(const std::string& name, const std::string& content) const
    {
        write_file(set_file(name), content);
    }
    // The file's text with its Date line (whatever the time) replaced by "Date\t*".
    std::string without_date(const std::string& name) const
    {
        std::string text = file_text(name);
        const std::size_t start = text.find("\nDate\t");
        if (start != std::string::npos)
            text.replace(start + 6, text.find('\n', start + 1) - start - 6, "*");
        return text;
    }

    TempDir m_dir;
};

TEST_F(Store, InitCreatesTheRootAndAcceptsAnExistingOne)
{
    EXPECT_TRUE(fs::is_directory(m_dir.path() / "store"));
    EXPECT_TRUE(PropInit(m_dir / "store"));
    ASSERT_TRUE(PropRoot());
    EXPECT_EQ(*PropRoot(), m_dir / "store");
    EXPECT_TRUE(PropTerm());
    EXPECT_FALSE(PropRoot());
}

TEST_F(Store, InitFailsWhenTheRootCannotBeCreated)
{
    TraceWatch trace;
    EXPECT_FALSE(PropInit(m_dir / "missing/store"));
    ASSERT_TRUE(PropRoot());  // kept even so
    expect_one_entry(trace, 204, "0", ENOENT);
}

TEST_F(Store, WritesHeaderAndNewestPropertyFirst)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(ps);
    EXPECT_FALSE(ps->modified);
    ASSERT_TRUE(PropPutStr(*ps, "UserFolder", 0, "My Job"));
    ASSERT_TRUE(PropPutInt(*ps, "Arrangement", 0, 2));
    EXPECT_TRUE(ps->modified);
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(PropSaveAs(*ps, "Default"));
    const std::time_t after = std::time(nullptr);
    EXPECT_FALSE(ps->modified);

    const std::string text = file_text("Default");
    const std::string body = "Arrangement\t2\nUserFolder\tMy Job\n";
    EXPECT_TRUE(text == "Version\t1\nDate\t" + ctime_text(before) + body ||
                text == "Version\t1\nDate\t" + ctime_text(after) + body)
        << text;
    EXPECT_EQ(ctime_text(before).size(), 25u);  // 24 characters and the line end
    EXPECT_FALSE(fs::exists(set_file(".Default")));
}

TEST_F(Store, ReadingAndWritingAgainReversesThePropertyOrder)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutInt(*ps, "X", 0, 5));
    ASSERT_TRUE(PropPutStr(*ps, "Y", 0, "abc"));
    ASSERT_TRUE(PropSaveAs(*ps, "S"));
    EXPECT_EQ(without_date("S"), "Version\t1\nDate\t*\nY\tabc\nX\t5\n");

    PropSetPtr read = PropOpen("Main", "S");
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->modified);
    EXPECT_EQ(PropGetStr(*read, "X", 0, "none"), "5");
    EXPECT_EQ(PropGetStr(*read, "Y", 0, "none"), "abc");
    EXPECT_EQ(PropGetInt(*read, "X", 0, -1), 5);
    EXPECT_EQ(PropGetInt(*read, "Y", 0, -1), 0);
    EXPECT_EQ(PropGetStr(*read, "Version", 0, "none"), "1");

    ASSERT_TRUE(PropPutInt(*read, "X", 0, 6));
    ASSERT_TRUE(PropWrite(*read));
    EXPECT_EQ(without_date("S"), "Version\t1\nDate\t*\nX\t6\nY\tabc\n");
}

TEST_F(Store, UnchangedSetIsNotRewritten)
{
    make_set("S", "Version\t1\nDate\tSun Feb 26 14:23:45 2006\nK\tv\n");
    struct utimbuf old_times = {1000000000, 1000000000};
    ASSERT_EQ(utime(set_file("S").c_str(), &old_times), 0);
    struct stat before;
    ASSERT_EQ(stat(set_file("S").c_str(), &before), 0);

    PropSetPtr ps = PropOpen("Main", "S");
    ASSERT_TRUE(ps);
    EXPECT_TRUE(PropWrite(*ps));
    PropClose(*ps);

    struct stat after;
    ASSERT_EQ(stat(set_file("S").c_str(), &after), 0);
    EXPECT_EQ(file_text("S"), "Version\t1\nDate\tSun Feb 26 14:23:45 2006\nK\tv\n");
    EXPECT_EQ(after.st_mtime, 1000000000);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(fs::exists(set_file(".S")));
}

TEST_F(Store, CloseWritesAChangedNamedSetOnly)
{
    make_set("S", "Version\t1\nDate\tSun Feb 26 14:23:45 2006\n");
    PropSetPtr ps = PropOpen("Main", "S");
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "v"));
    PropClose(*ps);
    EXPECT_EQ(without_date("S"), "Version\t1\nDate\t*\nK\tv\n");

    PropSetPtr unnamed = PropOpen("Other", std::nullopt);
    ASSERT_TRUE(PropPutStr(*unnamed, "K", 0, "v"));
    PropClose(*unnamed);
    EXPECT_FALSE(fs::exists(m_dir.path() / "store/Other"));
    TraceWatch trace;
    EXPECT_FALSE(PropWrite(*unnamed));  // it is named through PropSaveAs
    ASSERT_EQ(trace.added().size(), 1u);
    EXPECT_EQ(trace.added()[0].line, 324);
    EXPECT_EQ(trace.added()[0].errno_value, EINVAL);
}

TEST_F(Store, RepeatedNamesBuildOneMultiValuedProperty)
{
    make_set("S", "Version\t1\nDate\tSun Feb 26 14:23:45 2006\nK\tp\nK\tq\nK\tr\n");
    PropSetPtr ps = PropOpen("Main", "S");
    ASSERT_TRUE(ps);
    EXPECT_EQ(PropGetStr(*ps, "K", 0, "-"), "p");
    EXPECT_EQ(PropGetStr(*ps, "K", 1, "-"), "q");
    EXPECT_EQ(PropGetStr(*ps, "K", 2, "-"), "r");
    EXPECT_EQ(PropGetStr(*ps, "K", 3, "-"), "-");

    ASSERT_TRUE(PropPutStr(*ps, "K", 1, "Q"));
    ASSERT_TRUE(PropPutStr(*ps, "K", -1, "s"));
    EXPECT_EQ(PropGetStr(*ps, "K", 3, "-"), "s");
    ASSERT_TRUE(PropWrite(*ps));
    EXPECT_EQ(without_date("S"), "Version\t1\nDate\t*\nK\tp\nK\tQ\nK\tr\nK\ts\n");
}

TEST_F(Store, IndexPastTheEndPutsASecondPropertyInFront)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "p"));
    ASSERT_TRUE(PropPutStr(*ps, "K", 2, "z"));
    ASSERT_EQ(ps->props.size(), 2u);
    EXPECT_EQ(PropGetStr(*ps, "K", 0, "-"), "z");
    EXPECT_EQ(PropGetStr(*ps, "K", 1, "-"), "-");
    ASSERT_TRUE(PropSaveAs(*ps, "S"));
    EXPECT_EQ(without_date("S"), "Version\t1\nDate\t*\nK\tz\nK\tp\n");

    PropSetPtr read = PropOpen("Main", "S");
    EXPECT_EQ(PropGetStr(*read, "K", 0, "-"), "z");
    EXPECT_EQ(PropGetStr(*read, "K", 1, "-"), "p");
}

TEST_F(Store, SearchGoesOnPastAShortPropertyOfTheSameName)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "a"));
    ASSERT_TRUE(PropPutStr(*ps, "K", -1, "b"));
    ASSERT_TRUE(PropPutStr(*ps, "K", 5, "z"));  // new PROP in front with one value
    EXPECT_EQ(PropGetStr(*ps, "K", 1, "-"), "b");
    ASSERT_TRUE(PropPutStr(*ps, "K", 1, "B"));  // replaces in the older PROP
    EXPECT_EQ(PropGetStr(*ps, "K", 1, "-"), "B");
    ASSERT_TRUE(PropPutStr(*ps, "K", -1, "c"));  // appends to the first PROP of the name
    EXPECT_EQ(ps->props[0].values.size(), 2u);
}

TEST_F(Store, GetsByTypeAndDefaults)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutInt(*ps, "I", 0, -42));
    ASSERT_TRUE(PropPutStr(*ps, "S", 0, "  -12abc"));
    ASSERT_TRUE(PropPutStr(*ps, "T", 0, "abc"));
    EXPECT_EQ(PropGetStr(*ps, "I", 0, "dflt"), std::nullopt);
    EXPECT_EQ(PropGetStr(*ps, "missing", 0, "dflt"), "dflt");
    EXPECT_EQ(PropGetInt(*ps, "missing", 0, 77), 77);
    EXPECT_EQ(PropGetInt(*ps, "I", 0, 77), -42);
    EXPECT_EQ(PropGetInt(*ps, "S", 0, 77), -12);
    EXPECT_EQ(PropGetInt(*ps, "T", 0, 77), 0);
    EXPECT_EQ(PropGetInt(*ps, "I", 1, 77), 77);
    EXPECT_EQ(PropGetInt(*ps, "i", 0, 77), 77);  // names compare exactly
}

TEST_F(Store, VersionAndDateAreOnlyTheHeader)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "Version", 0, "99"));
    ASSERT_TRUE(PropPutStr(*ps, "Date", 0, "yesterday"));
    EXPECT_TRUE(ps->modified);
    ASSERT_TRUE(PropSaveAs(*ps, "S"));
    EXPECT_EQ(without_date("S"), "Version\t1\nDate\t*\n");
}

TEST_F(Store, SaveAsKeepsTheOldFile)
{
    make_set("Old", "Version\t1\nDate\tSun Feb 26 14:23:45 2006\nK\tv\n");
    PropSetPtr ps = PropOpen("Main", "Old");
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "w"));
    ASSERT_TRUE(PropSaveAs(*ps, "New"));
    EXPECT_EQ(*ps->setname, "New");
    EXPECT_EQ(file_text("Old"), "Version\t1\nDate\tSun Feb 26 14:23:45 2006\nK\tv\n");
    EXPECT_EQ(without_date("New"), "Version\t1\nDate\t*\nK\tw\n");
}

TEST_F(Store, ValueKeepsTabsAfterTheFirstAndNameSkipsLeadingTabs)
{
    make_set("S", "N\t\tv\n\t\tM\tx\ty\nE\t\n");
    PropSetPtr ps = PropOpen("Main", "S");
    ASSERT_TRUE(ps);
    EXPECT_EQ(PropGetStr(*ps, "N", 0, "-"), "\tv");
    EXPECT_EQ(PropGetStr(*ps, "M", 0, "-"), "x\ty");
    EXPECT_EQ(PropGetStr(*ps, "E", 0, "-"), "");
}

TEST_F(Store, CrLfFilesReadLikeLfFiles)
{
    make_set("S", "Version\t1\r\nDate\tSun Feb 26 14:23:45 2006\r\nK\tv\r\nK\tw\r\nL\ta\rb\r\n");
    PropSetPtr ps = PropOpen("Main", "S");
    ASSERT_TRUE(ps);
    EXPECT_EQ(PropGetStr(*ps, "Date", 0, "-"), "Sun Feb 26 14:23:45 2006");
    EXPECT_EQ(PropGetStr(*ps, "K", 0, "-"), "v");
    EXPECT_EQ(PropGetStr(*ps, "K", 1, "-"), "w");
    EXPECT_EQ(PropGetStr(*ps, "L", 0, "-"), "a\rb");  // only the CR before the line end goes
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "V"));
    ASSERT_TRUE(PropWrite(*ps));
    EXPECT_EQ(without_date("S"), "Version\t1\nDate\t*\nL\ta\rb\nK\tV\nK\tw\n");
}

TEST_F(Store, LinesWithoutATabAreSkipped)
{
    make_set("S", "junk\n\n\t\t\nK\tv\n\t\t");
    TraceWatch trace;
    PropSetPtr ps = PropOpen("Main", "S");
    ASSERT_TRUE(ps);
    EXPECT_TRUE(trace.added().empty());
    ASSERT_EQ(ps->props.size(), 1u);
    EXPECT_EQ(PropGetStr(*ps, "K", 0, "-"), "v");
}

TEST_F(Store, LongLineIsReadInPieces)
{
    // A line holds at most 2124 characters with its line end; the rest is a line of its own.
    const std::string first(2122, 'a');
    make_set("S", "K\t" + first + "T\tb\n" + "L\t" + first + std::string(900, 'c') + "\n");
    PropSetPtr ps = PropOpen("Main", "S");
    ASSERT_TRUE(ps);
    EXPECT_EQ(PropGetStr(*ps, "K", 0, "-"), first);
    EXPECT_EQ(PropGetStr(*ps, "T", 0, "-"), "b");
    EXPECT_EQ(PropGetStr(*ps, "L", 0, "-"), first);  // its TAB-less tail is skipped
    EXPECT_EQ(ps->props.size(), 3u);
}

TEST_F(Store, LongValueWrittenByTheStoreReadsBackCut)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, std::string(3000, 'v')));
    ASSERT_TRUE(PropPutStr(*ps, "J", 0, std::string(2122, 'w')));  // exactly fills the buffer
    ASSERT_TRUE(PropSaveAs(*ps, "S"));
    PropSetPtr read = PropOpen("Main", "S");
    ASSERT_TRUE(read);
    EXPECT_EQ(PropGetStr(*read, "K", 0, "-"), std::string(2122, 'v'));
    EXPECT_EQ(PropGetStr(*read, "J", 0, "-"), std::string(2122, 'w'));
    EXPECT_EQ(read->props.size(), 4u);  // Version, Date, J, K
}

TEST_F(Store, SetsAreRegularFilesNotBeginningWithADot)
{
    int count = -1;
    std::optional<std::string> name = "stale";
    EXPECT_EQ(PropSetCount("Main"), 0);
    EXPECT_TRUE(PropSetName("Main", 0, name));
    EXPECT_FALSE(name);

    make_set("A", "");
    make_set(".A", "");
    fs::create_directories(set_file("B"));
    make_set("B/C", "");
    count = PropSetCount("Main");
    EXPECT_EQ(count, 1);
    ASSERT_TRUE(PropSetName("Main", 0, name));
    EXPECT_EQ(name, "A");
    ASSERT_TRUE(PropSetName("Main", 1, name));
    EXPECT_FALSE(name);
}

TEST_F(Store, SetsAreListedAsTheFolderIs)
{
    for (const char* n : {"One", "Two", "Three"})
        make_set(n, "");
    std::vector<std::string> names;
    for (int i = 0; i < PropSetCount("Main"); ++i) {
        std::optional<std::string> name;
        ASSERT_TRUE(PropSetName("Main", i, name));
        names.push_back(*name);
    }
    std::vector<std::string> expected;
    for (const auto& entry : fs::directory_iterator(set_file("").parent_path()))
        expected.push_back(entry.path().filename().string());
    EXPECT_EQ(names, expected);
}

TEST_F(Store, DeleteRemovesTheFileAndRecordsAMissingOne)
{
    make_set("S", "K\tv\n");
    PropSetPtr open = PropOpen("Main", "S");
    EXPECT_TRUE(PropDelete("Main", "S"));
    EXPECT_FALSE(fs::exists(set_file("S")));
    EXPECT_EQ(PropGetStr(*open, "K", 0, "-"), "v");  // an open set is not affected

    TraceWatch trace;
    EXPECT_FALSE(PropDelete("Main", "S"));
    expect_one_entry(trace, 278, "unlink(path_set)", ENOENT);
}

TEST_F(Store, OpeningAMissingSetRecordsTheOpenAndTheRead)
{
    TraceWatch trace;
    EXPECT_FALSE(PropOpen("Main", "Missing"));
    const std::vector<Trace> added = trace.added();
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].line, 297);
    EXPECT_EQ(added[0].expression, "prop_read(ps, path_set)");
    EXPECT_EQ(added[1].line, 115);
    EXPECT_EQ(added[1].expression, "in = fopen(path_set, \"r\")");
    EXPECT_EQ(added[1].errno_value, ENOENT);
}

TEST_F(Store, CategoryThatCannotBeCreatedFailsTheWrite)
{
    PropSetPtr ps = PropOpen("no/such", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "v"));
    TraceWatch trace;
    EXPECT_FALSE(PropSaveAs(*ps, "S"));
    EXPECT_TRUE(ps->modified);
    const std::vector<Trace> added = trace.added();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].line, 329);
    EXPECT_EQ(added[0].errno_value, ENOENT);
}

TEST_F(Store, SetFileNeverGoesMissingWhileItIsRewritten)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutInt(*ps, "N", 0, 0));
    ASSERT_TRUE(PropSaveAs(*ps, "S"));
    const std::string path = set_file("S").string();
    std::atomic<bool> done = false;
    std::atomic<int> missing = 0;
    std::thread reader([&] {
        while (!done) {
            struct stat st;
            if (stat(path.c_str(), &st) != 0)
                ++missing;
        }
    });
    for (int i = 1; i <= 100; ++i) {
        ASSERT_TRUE(PropPutInt(*ps, "N", 0, i));
        ASSERT_TRUE(PropWrite(*ps));
    }
    done = true;
    reader.join();
    EXPECT_EQ(missing, 0);
}

TEST_F(Store, FailedRenameLeavesTheTemporaryFile)
{
    fs::create_directories(set_file("S") / "inside");  // a non-empty folder where the set goes
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "v"));
    TraceWatch trace;
    EXPECT_FALSE(PropSaveAs(*ps, "S"));
    EXPECT_TRUE(ps->modified);
    const std::vector<Trace> added = trace.added();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].line, 352);
    EXPECT_EQ(added[0].expression, "0");
    EXPECT_EQ(without_date(".S"), "Version\t1\nDate\t*\nK\tv\n");
    EXPECT_EQ(PropSetCount("Main"), 0);  // neither the folder nor the temporary file is a set
}

// Once the new file is renamed into place the set is saved, even where the folder itself
// cannot be synced (a folder the user may not read, a file system without directory fsync).
// Root reads every folder, so the write runs as an unprivileged user in a child process.
TEST_F(Store, SetIsSavedWhereItsFolderCannotBeSynced)
{
    make_set("S", "Version\t1\nDate\tx\nK\told\n");
    fs::permissions(m_dir.path(), fs::perms::all);
    fs::permissions(m_dir.path() / "store", fs::perms::all);
    fs::permissions(m_dir.path() / "store/Main", fs::perms::owner_write | fs::perms::owner_exec |
                                                     fs::perms::others_write |
                                                     fs::perms::others_exec);
    EXPECT_EXIT(
        {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                std::_Exit(3);
            PropSetPtr ps = PropOpen("Main", std::string("S"));
            TraceWatch trace;
            const bool saved = ps && PropPutStr(*ps, "K", 0, "new") && PropWrite(*ps);
            const std::vector<Trace> added = trace.added();
            std::_Exit(saved && !ps->modified && added.size() == 1 && added[0].line == 353 &&
                               added[0].errno_value == EACCES
                           ? 0
                           : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(without_date("S"), "Version\t1\nDate\t*\nK\tnew\n");
}

TEST_F(Store, WithoutInitNothingIsFound)
{
    PropTerm();
    TraceWatch trace;
    EXPECT_FALSE(PropOpen("Main", "S"));
    const std::vector<Trace> added = trace.added();
    ASSERT_EQ(added.size(), 3u);
    EXPECT_EQ(added[2].line, 34);
    EXPECT_EQ(added[2].errno_value, EINVAL);
    EXPECT_EQ(added[1].line, 47);
    EXPECT_EQ(added[0].line, 296);
}

// The store on a file system of its own that can be filled up.
class FullDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_mount = m_dir.path() / "mnt";
        fs::create_directories(m_mount);
        if (mount("tmpfs", m_mount.c_str(), "tmpfs", 0, "size=256k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        m_mounted = true;
        ASSERT_TRUE(PropInit(m_mount.string()));
    }
    void TearDown() override
    {
        PropTerm();
        if (m_mounted)
            umount2(m_mount.c_str(), MNT_DETACH);
    }

    TempDir m_dir;
    fs::path m_mount;
    bool m_mounted = false;
};

TEST_F(FullDisk, FailedWriteLeavesTheSetFileIntact)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "old"));
    ASSERT_TRUE(PropSaveAs(*ps, "S"));
    const fs::path set = m_mount / "Main/S";
    const std::string old_text = read_file(set);

    // Far more than the file system holds, in lines shorter than the stream's buffer.
    for (int i = 0; i < 400; ++i)
        ASSERT_TRUE(PropPutStr(*ps, "K", -1, std::string(1000, 'x')));
    TraceWatch trace;
    EXPECT_FALSE(PropWrite(*ps));
    EXPECT_TRUE(ps->modified);
    EXPECT_EQ(read_file(set), old_text);
    const std::vector<Trace> added = trace.added();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_TRUE(added[0].line == 345 || added[0].line == 346) << added[0].line;
    EXPECT_EQ(added[0].errno_value, ENOSPC);
    EXPECT_TRUE(fs::exists(m_mount / "Main/.S"));  // what was written so far stays

    PropSetPtr reread = PropOpen("Main", "S");
    ASSERT_TRUE(reread);
    EXPECT_EQ(PropGetStr(*reread, "K", 0, "-"), "old");
}

TEST_F(FullDisk, FailedFlushOfASmallSetLeavesTheSetFileIntact)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "old"));
    ASSERT_TRUE(PropSaveAs(*ps, "S"));
    const std::string old_text = read_file(m_mount / "Main/S");

    // Fill the file system; the set's few lines wait in the stream's buffer until the flush.
    {
        FILE* filler = std::fopen((m_mount / "filler").c_str(), "w");
        ASSERT_TRUE(filler);
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
        }
        std::fclose(filler);
    }
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "new"));
    TraceWatch trace;
    EXPECT_FALSE(PropWrite(*ps));
    EXPECT_EQ(read_file(m_mount / "Main/S"), old_text);
    expect_one_entry(trace, 346, "fflush(out)", ENOSPC);

    // With room again the same set is written.
    fs::remove(m_mount / "filler");
    EXPECT_TRUE(PropWrite(*ps));
    EXPECT_FALSE(fs::exists(m_mount / "Main/.S"));
    PropSetPtr reread = PropOpen("Main", "S");
    EXPECT_EQ(PropGetStr(*reread, "K", 0, "-"), "new");
}

// Allocation failures: the store reports them and never throws.
class OutOfMemory : public Store {
protected:
    void TearDown() override
    {
        fail_from_size = SIZE_MAX;
        Store::TearDown();
    }
};

TEST_F(OutOfMemory, FailedPutLeavesTheSetUnchanged)
{
    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, "v"));
    ps->modified = false;
    const std::string big(2000, 'x');
    TraceWatch trace;
    fail_from_size = 1000;  // the trace's own entries stay smaller
    EXPECT_FALSE(PropPutStr(*ps, "K", 0, big));
    fail_from_size = SIZE_MAX;
    EXPECT_FALSE(ps->modified);
    EXPECT_EQ(PropGetStr(*ps, "K", 0, "-"), "v");
    expect_one_entry(trace, 436, "pv->v.strval = malloc(strlen(val) + 1)", ENOMEM);
}

TEST_F(OutOfMemory, FailedOpenSaveAsAndGet)
{
    const std::string long_name(2000, 'n');
    TraceWatch trace;
    fail_from_size = 1000;
    EXPECT_FALSE(PropOpen(long_name, std::nullopt));
    fail_from_size = SIZE_MAX;
    std::vector<Trace> added = trace.added();
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].line, 294);
    EXPECT_EQ(added[1].line, 93);

    PropSetPtr ps = PropOpen("Main", std::nullopt);
    ASSERT_TRUE(PropPutStr(*ps, "K", 0, std::string(2000, 'v')));
    TraceWatch later;
    fail_from_size = 1000;
    EXPECT_FALSE(PropSaveAs(*ps, long_name));
    EXPECT_EQ(PropGetStr(*ps, "K", 0, "-"), std::nullopt);
    fail_from_size = SIZE_MAX;
    added = later.added();
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[1].line, 371);
    EXPECT_EQ(added[0].line, 450);
}

}  // namespace
