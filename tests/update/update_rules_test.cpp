// The update check's rules that need no network: the version, the weekly schedule, the URL.

#include "update_reply.h"
#include "update_request.h"
#include "update_schedule.h"
#include "update_version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace oakvane {
namespace {

// Sets TZ for one test and puts the previous zone back.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone()
    {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> m_old;
};

TEST(UpdateVersion, BlanksGoAndCommasBecomeDots)
{
    EXPECT_EQ(normalise_version("1, 0, 3, 0"), "1.0.3.0");
    EXPECT_EQ(normalise_version("1,2,0,7"), "1.2.0.7");
    EXPECT_EQ(normalise_version(" 0.1.0\t"), "0.1.0");
    EXPECT_EQ(normalise_version(""), "?");
    EXPECT_EQ(normalise_version("  "), "?");
    EXPECT_EQ(program_version(), EXPECTED_VERSION);
}

TEST(UpdateSchedule, DueAfterAWeekOrWhenTheDateIsUnusable)
{
    const ScopedZone utc("UTC");
    const std::time_t now = 1688983200;  // 2023-07-10 10:00:00 UTC
    const struct {
        const char* stored;
        bool due;
    } cases[] = {
        {"1970-01-01 01:01:01", true},
        {"2023-07-10 09:00:00", false},
        {"2023-07-03 10:00:01", false},  // one second short of a week
        {"2023-07-03 10:00:00", true},   // a week exactly
        {"2023-07-03 10:00:01 and more", false},
        {"2023-07-11 10:00:00", false},  // in the future
        {"2023-07-17 10:00:00", false},  // far enough ahead to hold the check off for two weeks
        {"2023-07-10", true},
        {"2023-07-10 09:00:0", true},
        {"", true},
        {"2023-13-10 09:00:00", true},
        {"2023-07-10 25:00:00", true},
        {"2023-07-xx 09:00:00", true},
        {"-023-07-10 09:00:00", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(update_check_due(c.stored, now), c.due) << c.stored;
}

TEST(UpdateSchedule, SummerTimeOfTheStoredDateIsDecidedByTheZone)
{
    const ScopedZone berlin("Europe/Berlin");
    // 2023-07-10 12:00:00 in Berlin is summer time, 10:00:00 UTC.
    const std::time_t then = 1688983200;
    EXPECT_FALSE(update_check_due("2023-07-10 12:00:00", then + kUpdateInterval - 1800));
    EXPECT_TRUE(update_check_due("2023-07-10 12:00:00", then + kUpdateInterval + 1800));
}

TEST(UpdateUrl, BaseFromTheEnvironmentAndVersionUnescaped)
{
    unsetenv("OAKVANE_UPDATE_URL");
    EXPECT_EQ(update_url(update_base_url(), "1.2.0.7"),
              "https://www.oakvane.example/Oakvane/update_check.php?platform=linux&version=1.2.0.7");
    setenv("OAKVANE_UPDATE_URL", "", 1);
    EXPECT_EQ(update_base_url(), "https://www.oakvane.example");
    setenv("OAKVANE_UPDATE_URL", "http://127.0.0.1:8123/", 1);
    EXPECT_EQ(update_url(update_base_url(), "?"),
              "http://127.0.0.1:8123/Oakvane/update_check.php?platform=linux&version=?");
    unsetenv("OAKVANE_UPDATE_URL");
}

TEST(UpdateReply, OnlyPrintableTextIsShown)
{
    const struct {
        std::string reply;
        std::string shown;
    } cases[] = {
        {"YES", "YES"},
        {"\x1b[2J\x1b[1;31mNew\x1b[0m version", "New version"},
        {"\x1b]0;window title\x07Out\x1b]8;;http://x\x1b\\now", "Outnow"},
        {"a\x1b" "cb\x1b", "ab"},
        {"tab\there\r\x08\x7f\x01", "tab here"},
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
        {"c1\xc2\x9b" "2Jx", "c12Jx"},                 // the one-byte CSI of a terminal
        {"bad\xff\xc3 \xc0\xaf\xed\xa0\x80" "end", "bad end"},  // not UTF-8
        {"\x1b[", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printable_reply(c.reply), c.shown) << c.reply;

    EXPECT_EQ(printable_reply(std::string(300, 'x')), std::string(kMaxReplyCharacters, 'x'));
    std::string euros;
    for (int i = 0; i < 300; ++i)
        euros += "\xe2\x82\xac";
    EXPECT_EQ(printable_reply(euros), euros.substr(0, 3 * kMaxReplyCharacters));
}

}  // namespace
}  // namespace oakvane
