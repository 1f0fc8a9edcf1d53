#include "errtrace.h"

#include "failing_new.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using oakvane::test::fail_from_size;

namespace {

// The trace is printed when the process exits, so each of these tests pushes and exits in a
// child process of its own and compares what it wrote to standard error.
class TraceAtExit : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

::testing::Matcher<const std::string&> Exactly(const std::string& text)
{
    return ::testing::Matcher<const std::string&>(text);
}

std::string decoration(int err, const char* symbol, const char* message)
{
    return "\n\t\t*** " + std::string(symbol) + " (" + std::to_string(err) + ": \"" + message +
           "\") ***";
}

}  // namespace

TEST_F(TraceAtExit, NothingPushedPrintsNothing)
{
    EXPECT_EXIT(std::exit(0), ::testing::ExitedWithCode(0), Exactly(""));
}

TEST_F(TraceAtExit, OneEntryWithoutErrnoIsOneLine)
{
    EXPECT_EXIT(
        {
            ec_push("[fcn???]", "proper/proper.cpp", 115, "in = fopen(path_set, \"r\")", 0, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        Exactly("ERROR:\t0: [fcn???] [proper/proper.cpp:115] in = fopen(path_set, \"r\")\n"));
}

TEST_F(TraceAtExit, NewestFirstAndOnlyTheOldestDecorated)
{
    EXPECT_EXIT(
        {
            ec_push("first", "a.cpp", 1, "one", ENOENT, nullptr);
            ec_push("second", "b.cpp", 2, "two", EACCES, nullptr);
            ec_push("third", "c.cpp", 3, "three", EIO, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        Exactly("ERROR:\t0: third [c.cpp:3] three\n"
                "\t1: second [b.cpp:2] two\n"
                "\t2: first [a.cpp:1] one" +
                decoration(ENOENT, "ENOENT", std::strerror(ENOENT)) + "\n"));
}

TEST_F(TraceAtExit, UnknownErrnoHasSymbolQuestionMark)
{
    EXPECT_EXIT(
        {
            ec_push("f", "x.cpp", 7, "check", 4242, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        Exactly("ERROR:\t0: f [x.cpp:7] check" + decoration(4242, "?", std::strerror(4242)) + "\n"));
}

TEST_F(TraceAtExit, InternalCodeIsNonstandard)
{
    EXPECT_EXIT(
        {
            ec_push("f", "x.cpp", 8, "check", EC_EINTERNAL, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        Exactly("ERROR:\t0: f [x.cpp:8] check" +
                decoration(INT_MAX, "?", "Internal error (nonstandard)") + "\n"));
}

TEST_F(TraceAtExit, LongExpressionIsCut)
{
    const std::string expression(300, 'x');
    const std::string text = "f [x.cpp:9] " + expression;
    // The entry's text is cut at 199 characters; the line stays within 224.
    const std::string line = "ERROR:\t0: " + text.substr(0, 199);
    ASSERT_LE(line.size(), 224u);
    EXPECT_EXIT(
        {
            ec_push("f", "x.cpp", 9, expression.c_str(), 0, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), Exactly(line + "\n"));
}

TEST_F(TraceAtExit, NullExpressionIsEmpty)
{
    EXPECT_EXIT(
        {
            ec_push("f", "x.cpp", 10, nullptr, 0, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), Exactly("ERROR:\t0: f [x.cpp:10] \n"));
}

TEST_F(TraceAtExit, EmergencyNodeMarksIncompleteTrace)
{
    // The first entry without memory gets the emergency text (100 bytes) and node; the next
    // ones are lost, and the printed trace says so where the emergency node stands.
    const std::string expression(150, 'e');
    const std::string emergency_text = ("g [y.cpp:2] " + expression).substr(0, 99);
    EXPECT_EXIT(
        {
            ec_push("f", "y.cpp", 1, "before", ENOENT, nullptr);
            fail_from_size = 0;
            ec_push("g", "y.cpp", 2, expression.c_str(), 0, nullptr);
            ec_push("h", "y.cpp", 3, "lost", 0, nullptr);
            fail_from_size = SIZE_MAX;
            ec_push("k", "y.cpp", 4, "after", 0, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        Exactly("ERROR:\t0: k [y.cpp:4] after\n"
                "\t*** Trace may be incomplete ***\n"
                "\t1: " + emergency_text + "\n"
                "\t2: f [y.cpp:1] before" +
                decoration(ENOENT, "ENOENT", std::strerror(ENOENT)) + "\n"));
}

TEST_F(TraceAtExit, TextWithoutMemoryIsQuestionMarkOnceTheEmergencyTextIsTaken)
{
    // Only the texts (more than 64 bytes here) fail to allocate; the nodes don't.
    const std::string expression(100, 'e');
    const std::string emergency_text = ("a [z.cpp:1] " + expression).substr(0, 99);
    EXPECT_EXIT(
        {
            fail_from_size = 64;
            ec_push("a", "z.cpp", 1, expression.c_str(), 0, nullptr);
            ec_push("b", "z.cpp", 2, expression.c_str(), ENOENT, nullptr);
            fail_from_size = SIZE_MAX;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        Exactly("ERROR:\t0: ?\n\t1: " + emergency_text + "\n"));
}

TEST_F(TraceAtExit, PushesFromManyThreadsAreAllKept)
{
    EXPECT_EXIT(
        {
            std::vector<std::thread> threads;
            for (int t = 0; t < 4; ++t)
                threads.emplace_back([t] {
                    for (int i = 0; i < 500; ++i)
                        ec_push("f", "t.cpp", t * 1000 + i, "x", 0, nullptr);
                });
            for (std::thread& thread : threads)
                thread.join();
            std::set<std::string> texts;
            for (const ec_entry& e : ec_entries())
                texts.insert(e.text);
            _exit(texts.size() == 2000 ? 0 : 1);  // _exit: skip printing 2000 lines
        },
        ::testing::ExitedWithCode(0), Exactly(""));
}

// The diagnostic log, in a state folder of each test's own. The child that writes it is forked
// without a new program, so that it sees the test's own folder.
class TraceLog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GTEST_FLAG_SET(death_test_style, "fast"); }
    static void TearDownTestSuite() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

    std::string state() const { return m_tmp / "state"; }
    std::string log_path() const { return state() + "/oakvane/trace.log"; }

    // In the child: the log switched on, with the state folder given (or none).
    static void switch_on(const char* state_home, const char* home)
    {
        setenv("OAKVANE_TRACE_LOG", "1", 1);
        if (state_home)
            setenv("XDG_STATE_HOME", state_home, 1);
        else
            unsetenv("XDG_STATE_HOME");
        setenv("HOME", home, 1);
    }

    oakvane::test::TempDir m_tmp;
};

TEST_F(TraceLog, WrittenOnlyWhenSwitchedOn)
{
    EXPECT_EXIT(
        {
            unsetenv("OAKVANE_TRACE_LOG");
            setenv("XDG_STATE_HOME", state().c_str(), 1);
            ec_log("not written %d", 1);
            ec_push("f", "x.cpp", 1, "100% sure", 0, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), Exactly("ERROR:\t0: f [x.cpp:1] 100% sure\n"));
    EXPECT_FALSE(std::filesystem::exists(state()));
}

TEST_F(TraceLog, GetsStampedLinesAndTheTraceInAPrivateFolderOfTheStateHome)
{
    EXPECT_EXIT(
        {
            switch_on(state().c_str(), m_tmp.str().c_str());
            ec_log("hello %d", 5);
            ec_push("f", "x.cpp", 1, "100% sure", 0, nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), Exactly("ERROR:\t0: f [x.cpp:1] 100% sure\n"));
    const std::string added = oakvane::test::read_file(log_path());
    // "%Y-%b-%d %X" in the C locale: 2026-Nov-01 12:34:56
    const std::string stamp = "[0-9]{4}-[A-Z][a-z]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}: ";
    const std::regex expected("\n" + stamp + "Log file " + log_path() + " opened\n" + stamp +
                              "hello 5\n" + stamp + "ERROR:\t0: f \\[x\\.cpp:1\\] 100% sure\n");
    EXPECT_TRUE(std::regex_match(added, expected)) << added;
    struct stat folder;
    ASSERT_EQ(stat((state() + "/oakvane").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0700u);
}

// No state home, or one that is not an absolute path: the user's own, ~/.local/state.
TEST_F(TraceLog, WithoutAStateHomeGoesUnderHome)
{
    for (const char* state_home : {static_cast<const char*>(nullptr), "", "relative/state"}) {
        EXPECT_EXIT(
            {
                switch_on(state_home, m_tmp.str().c_str());
                ec_log("at home");
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), Exactly(""));
        const std::string log = m_tmp / ".local/state/oakvane/trace.log";
        EXPECT_NE(oakvane::test::read_file(log).find("at home\n"), std::string::npos);
        std::filesystem::remove(log);
    }
}

// Someone who can write where the log goes must not make it write elsewhere.
TEST_F(TraceLog, LinksAreNeverFollowed)
{
    oakvane::test::write_file(m_tmp / "victim", "someone's file\n");
    std::filesystem::create_directories(state() + "/oakvane");
    std::filesystem::create_symlink(m_tmp / "victim", log_path());
    EXPECT_EXIT(
        {
            switch_on(state().c_str(), m_tmp.str().c_str());
            ec_log("redirected");
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "Can't open logfile");
    EXPECT_EQ(oakvane::test::read_file(m_tmp / "victim"), "someone's file\n");

    std::filesystem::remove_all(state());
    std::filesystem::create_directories(state());
    std::filesystem::create_directory(m_tmp / "elsewhere");
    std::filesystem::create_directory_symlink(m_tmp / "elsewhere", state() + "/oakvane");
    EXPECT_EXIT(
        {
            switch_on(state().c_str(), m_tmp.str().c_str());
            ec_log("redirected");
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "Can't open logfile");
    EXPECT_TRUE(std::filesystem::is_empty(m_tmp / "elsewhere"));
}

TEST(SymbolTable, HasAllCategoriesInOrder)
{
    const std::vector<std::pair<std::string, int>> expected = {
        {"errno", 72},        {"sigaction", 3},     {"sigaction_flags", 7}, {"sigprocmask", 3},
        {"signal", 27},       {"fcntl", 6},         {"fcntl_io", 3},        {"clock", 1},
        {"stdfileno", 3},     {"perm", 12},         {"lseek", 3},           {"st_mode", 8},
        {"access", 4},        {"fcntl_op", 10},     {"fcntl_fd", 1},        {"lockf", 4},
        {"exit", 2},          {"SysVIPC_mode", 3},  {"SysVIPC_key", 1},     {"SysVIPC_cmd", 10},
        {"SysVIPC_shm", 2},   {"mmap", 3},          {"mmap_flags", 3},      {"sigevent", 3},
        {"skt_domain", 4},    {"skt_type", 4},      {"skt_level", 1},       {"skt_option", 16},
        {"skt_backlog", 1},   {"skt_msg_flag", 7},  {"skt_shut", 3},        {"skt_cmsg_type", 1},
        {"getaddrinfo", 1},   {"getnameinfo", 5},   {"sockopt_level", 6},
    };
    std::vector<std::pair<std::string, int>> actual;
    int total = 0;
    for (const ec_symbol* sym = ec_symbols; sym->category; ++sym, ++total) {
        if (actual.empty() || actual.back().first != sym->category)
            actual.emplace_back(sym->category, 0);
        ++actual.back().second;
        EXPECT_STREQ(sym->description, "") << sym->name;
    }
    EXPECT_EQ(total, 243);
    EXPECT_EQ(actual.size(), 35u);
    EXPECT_EQ(actual, expected);
}

TEST(SymbolTable, ValuesAreThePlatformsValues)
{
    auto value_of = [](const char* category, const char* name) {
        for (const ec_symbol* sym = ec_symbols; sym->category; ++sym)
            if (std::strcmp(sym->category, category) == 0 && std::strcmp(sym->name, name) == 0)
                return sym->value;
        ADD_FAILURE() << name << " not in the table";
        return -12345;
    };
    EXPECT_EQ(value_of("errno", "ENOENT"), ENOENT);
    EXPECT_EQ(value_of("errno", "EWOULDBLOCK"), EWOULDBLOCK);
    EXPECT_EQ(value_of("errno", "EC_EINTERNAL"), INT_MAX);
    EXPECT_EQ(value_of("sigaction", "SIG_DFL"), static_cast<int>(reinterpret_cast<std::intptr_t>(SIG_DFL)));
    EXPECT_EQ(value_of("sigaction", "SIG_IGN"), static_cast<int>(reinterpret_cast<std::intptr_t>(SIG_IGN)));
    EXPECT_EQ(value_of("sigaction", "SIG_ERR"), static_cast<int>(reinterpret_cast<std::intptr_t>(SIG_ERR)));
    EXPECT_EQ(value_of("signal", "SIGKILL"), SIGKILL);
    EXPECT_EQ(value_of("clock", "CLOCKS_PER_SEC"), 1000000);
    EXPECT_EQ(value_of("st_mode", "S_IFREG"), S_IFREG);
    EXPECT_EQ(value_of("sockopt_level", "IPPROTO_UDP"), 17);
}

TEST(SymbolTable, LookupFindsTheFirstMatch)
{
    ASSERT_EQ(EAGAIN, EWOULDBLOCK);  // they share a value on Linux
    EXPECT_STREQ(ec_lookup("errno", EAGAIN, nullptr), "EAGAIN");
    const char* description = nullptr;
    EXPECT_STREQ(ec_lookup("errno", ENOENT, &description), "ENOENT");
    EXPECT_STREQ(description, "");
    EXPECT_STREQ(ec_lookup("signal", SIGTERM, nullptr), "SIGTERM");
    // The category compares exactly; no other category is searched.
    EXPECT_STREQ(ec_lookup("Errno", ENOENT, nullptr), "?");
    EXPECT_STREQ(ec_lookup("errno", 4242, &description), "?");
    EXPECT_STREQ(description, "?");
}

TEST(ErrnoText, Decorations)
{
    char buf[200];
    EXPECT_STREQ(ec_errno_text(buf, sizeof buf, "text", 0, nullptr), "text");
    EXPECT_STREQ(ec_errno_text(buf, sizeof buf, nullptr, 0, nullptr), "???");
    EXPECT_EQ(std::string(ec_errno_text(buf, sizeof buf, "t", ENOENT, nullptr)),
              "t" + decoration(ENOENT, "ENOENT", std::strerror(ENOENT)));
    EXPECT_EQ(std::string(ec_errno_text(buf, sizeof buf, "t", EC_EINTERNAL, nullptr)),
              "t" + decoration(INT_MAX, "?", "Internal error (nonstandard)"));
    char small[8];
    EXPECT_STREQ(ec_errno_text(small, sizeof small, "abcdefghij", ENOENT, nullptr), "abcdefg");
}
