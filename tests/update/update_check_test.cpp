// The update check against a stand-in web site: which answers count, what the request
// carries, and when the automatic check asks at all.

#include "preferences.h"
#include "temp_dir.h"
#include "test_server.h"
#include "update_check.h"
#include "update_reply.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace oakvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using test::UpdateSite;

// Generous: the machines running these tests are small and busy.
constexpr auto kPatience = 20s;

struct Host : UpdateHost, PrefsHost {
    void output_text(std::string_view text) override { lines.emplace_back(text); }
    void message_box(const std::string& text) override { messages.push_back(text); }
    bool ask_yes_no(const std::string&) override { return false; }
    std::string ask_new_name() override { return ""; }
    Lines lines;
    Lines messages;
};

std::string local_time_text(std::time_t t)
{
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string days_ago(int days) { return local_time_text(std::time(nullptr) - days * 86400); }

TEST(UpdateRequest, TheFirstLineOfAnyBodyIsTheAnswer)
{
    test::TempDir tmp;
    UpdateSite site(tmp.path());
    const struct {
        std::optional<std::string> page;
        std::optional<std::string> reply;
    } cases[] = {
        {"YES\n", "YES"},
        {"YES", "YES"},
        {"YES\r\nsecond line\n", "YES"},
        {"yes\n", "yes"},
        {"\nYES\n", ""},
        {"", std::nullopt},
        {std::nullopt, "No such page (404)"},
    };
    for (const auto& c : cases) {
        site.set_page(c.page);
        EXPECT_EQ(fetch_first_line(update_url(site.base_url(), "1"), kPatience), c.reply)
            << c.page.value_or("(no page)");
    }
}

TEST(UpdateRequest, AStallingServerGivesItsFirstLineButNoHalfLine)
{
    test::TempDir tmp;
    UpdateSite site(tmp.path(), UpdateSite::Mode::HoldOpen);
    site.set_page("YES\nthe rest never ends");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch_first_line(update_url(site.base_url(), "1"), kPatience), "YES");
    EXPECT_LT(std::chrono::steady_clock::now() - start, kPatience / 2);
    site.set_page("YE");
    EXPECT_EQ(fetch_first_line(update_url(site.base_url(), "1"), 300ms), std::nullopt);
}

TEST(UpdateRequest, NoServerMeansFailureWithinTheTimeout)
{
    const test::SilentPort silent;
    for (const std::string& base : {std::string("http://127.0.0.1:1"), silent.base_url()}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(fetch_first_line(update_url(base, "1"), 300ms), std::nullopt) << base;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 4s) << base;
    }
}

struct ScheduleCase {
    const char* name;
    bool user_asked;
    bool update_check;
    std::optional<std::string> stored_date;  // none: never written
    std::optional<std::string> page;         // none: no network at all
    bool asks_site;
    Lines lines;
    Lines messages;
    bool date_renewed;
};

struct ScheduleResult {
    Lines lines;
    Lines messages;
    std::string date;
};

ScheduleResult run_check(const ScheduleCase& c, const std::string& base)
{
    test::TempDir tmp;
    std::string profile = "[App]\n";
    if (c.stored_date)
        profile += "UpdateCheckDate=" + *c.stored_date + "\n";
    // Stated either way: the preference's default is the other test's concern.
    profile += c.update_check ? "UpdateCheck=1\n" : "UpdateCheck=0\n";
    fs::create_directories(tmp.path() / "config");
    test::write_file(tmp.path() / "config/Oakvane.ini", profile);
    Host host;
    Preferences prefs(host, PrefsLocation{tmp / "config", tmp / "config/Oakvane.ini",
                                          tmp / "config/Metadata Templates"});
    EXPECT_TRUE(prefs.InitPreferences());
    setenv("OAKVANE_UPDATE_URL", base.c_str(), 1);
    check_for_update(c.user_asked, prefs, host, kPatience);
    unsetenv("OAKVANE_UPDATE_URL");
    return {host.lines, host.messages, prefs.GetUpdateCheckDate()};
}

TEST(UpdateCheck, AsksAtMostWeeklyUnlessTheUserAsks)
{
    const std::string version = std::string("Oakvane Version ") + EXPECTED_VERSION;
    const std::string request = std::string("/Oakvane/update_check.php?platform=linux&version=") +
                                EXPECTED_VERSION + "\tOakvane\tno-cache";
    const std::string newer =
        "An Oakvane update is available. Press the Web Site button for details.";
    const std::string failed = "Update check failed (ingestion will proceed)\n";
    const std::string up_to_date = version + " (up-to-date)";
    const std::string current = "Oakvane is up-to-date.";
    const ScheduleCase cases[] = {
        {"first start", false, true, std::nullopt, "YES\n", true, {up_to_date}, {}, true},
        {"checked yesterday", false, true, days_ago(1), "YES\n", false, {version}, {}, false},
        {"checked 8 days ago", false, true, days_ago(8), "yes\n", true, {version, "yes"}, {newer},
         true},
        {"hostile reply", false, true, days_ago(8),
         "\x1b]0;owned\x07\x1b[31mNew\x1b[0m\tversion!\x01" + std::string(300, 'x') + "\n", true,
         {version, "New version!" + std::string(kMaxReplyCharacters - 12, 'x')}, {newer}, true},
        {"date ahead", false, true, days_ago(-1), "YES\n", false, {version}, {}, false},
        {"date only", false, true, "2006-06-12", "YES\n", true, {up_to_date}, {}, true},
        {"turned off", false, false, std::nullopt, "YES\n", false, {version}, {}, false},
        {"no network", false, true, days_ago(8), std::nullopt, false, {version, failed}, {}, true},
        {"asked, turned off", true, false, days_ago(1), "YES\n", true, {}, {current}, false},
        {"asked, newer exists", true, true, std::nullopt, "yes\n", true, {}, {newer}, false},
        {"asked, no network", true, true, std::nullopt, std::nullopt, false, {},
         {"Update check failed (ingestion will proceed normally)."}, false},
    };
    test::TempDir tmp;
    UpdateSite site(tmp.path());
    for (const ScheduleCase& c : cases) {
        SCOPED_TRACE(c.name);
        site.set_page(c.page);
        const std::size_t asked_before = site.requests().size();
        const std::string before = local_time_text(std::time(nullptr));
        const ScheduleResult result = run_check(c, c.page ? site.base_url() : "http://127.0.0.1:1");
        const std::string after = local_time_text(std::time(nullptr));
        const Lines requests = site.requests();
        EXPECT_EQ(Lines(requests.begin() + asked_before, requests.end()),
                  c.asks_site ? Lines{request} : Lines{});
        EXPECT_EQ(result.lines, c.lines);
        EXPECT_EQ(result.messages, c.messages);
        if (c.date_renewed) {
            EXPECT_LE(before, result.date);
            EXPECT_GE(after, result.date);
        } else {
            EXPECT_EQ(result.date, c.stored_date.value_or("1970-01-01 01:01:01"));
        }
    }
}

}  // namespace
}  // namespace oakvane
