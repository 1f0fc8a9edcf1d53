#include "cardgen.h"
#include "engine.h"
#include "folder_source.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

using namespace oakvane;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

class Copycard : public ::testing::Test {
protected:
    Copycard()
    {
        args = {"copycard", "copy", card(), (dir.path() / "backup").string(),
                (dir.path() / "primary").string(), "none", "1", "IMG", "", "", "",
                "SDNE", "-p1", "", "-", "", "D--", "1", "Wedding"};
        fs::create_directories(card());
    }
    std::string card() const { return (dir.path() / "card/DCIM").string(); }
    void add(const std::string& name, const std::string& content = "data",
             std::time_t when = cardgen::kDayOne)
    {
        test::write_file(card() + "/" + name, content);
        cardgen::set_file_time(card() + "/" + name, when);
    }
    int run()
    {
        host.lines.clear();
        std::vector<const char*> argv;
        for (const auto& a : args)
            argv.push_back(a.c_str());
        return copycard_main(static_cast<int>(argv.size()), argv.data(), host, result);
    }
    // Every line shown, for a failure's message.
    std::string shown() const
    {
        std::string text;
        for (const std::string& line : host.lines)
            text += line + "\n";
        return text;
    }
    Lines report() const
    {
        auto start = std::find(host.lines.begin(), host.lines.end(), "Copying:");
        return start == host.lines.end() ? Lines{} : Lines(start, host.lines.end());
    }
    test::TempDir dir;
    test::RecordingHost host;
    CopycardResult result;
    std::vector<std::string> args;
};

Lines report_of(int conv, int copied, int raws, int jpegs, int unverified)
{
    auto n = [](int v) { return std::to_string(v); };
    return {"Copying:", "    Raws converted to DNGs: " + n(conv),
            "    Files copied without conversion: " + n(copied), "", "Verification:",
            "    Raws verified: " + n(raws), "    JPEGs verified: " + n(jpegs),
            "    Files copied without error but unverified: " + n(unverified), "",
            "SUCCESSFUL INGESTION - no errors detected"};
}

}  // namespace

TEST_F(Copycard, ReportCountsForEachMode)
{
    for (const char* name : {"IMG_0001.CR2", "IMG_0002.NEF", "IMG_0003.CR2"})
        add(name);
    for (const char* name : {"IMG_0004.JPG", "IMG_0005.jpg"}) {
        cardgen::write_jpeg(card() + "/" + name, {});
        cardgen::set_file_time(card() + "/" + name, cardgen::kDayOne);
    }
    add("IMG_0006.WAV");
    args[5] = STANDIN_CONVERTER;
    args[14] = "verifyOnly";
    ASSERT_EQ(run(), 1) << shown();
    EXPECT_EQ(report(), report_of(0, 6, 3, 2, 1));
    EXPECT_EQ(result.folder, (dir.path() / "primary/2006-06-12").string());

    fs::remove_all(dir.path() / "primary");
    args[14] = "-";
    ASSERT_EQ(run(), 1) << shown();
    EXPECT_EQ(report(), report_of(3, 3, 3, 2, 1));
}

TEST_F(Copycard, StoppedRunShowsNoError)
{
    add("IMG_0001.CR2", std::string(3 * 1048576, 'r'));
    host.on_stop_poll = [](test::RecordingHost& h) { h.stop = 1; };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(std::count(host.lines.begin(), host.lines.end(), "ERROR:"), 0);

    // The same request, as the command hands it to the engine, ends for the stop.
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    Failure refused;
    bool misuse = false;
    const std::optional<RunRequest> request =
        parse_copy_arguments(static_cast<int>(argv.size()), argv.data(), refused, misuse);
    ASSERT_TRUE(request) << refused.message;
    host.lines.clear();
    const RunResult ended = ingest(*request, host);
    EXPECT_EQ(ended.end, RunEnd::stopped);
    ASSERT_TRUE(ended.failure);
    EXPECT_EQ(ended.failure->message, "Stopped");
    EXPECT_EQ(std::count(host.lines.begin(), host.lines.end(), "ERROR:"), 0);
}

// The converter's progress counts the run's DNGs as they appear, across folders, to all of them.
TEST_F(Copycard, ConversionProgressCountsEveryRaw)
{
    for (int i = 1; i <= 3; ++i)
        add("IMG_000" + std::to_string(i) + ".CR2", "raw" + std::to_string(i), cardgen::kDayOne + i);
    add("IMG_0004.CR2", "raw4", cardgen::kDayTwo);  // a second date folder: a second conversion
    add("IMG_0005.WAV", "not a raw", cardgen::kDayTwo);
    args[5] = STANDIN_CONVERTER;
    ASSERT_EQ(run(), 1) << shown();
    ASSERT_FALSE(host.conversions.empty());
    EXPECT_EQ(host.conversions.back(), std::make_pair(4, 4));
    for (std::size_t i = 1; i < host.conversions.size(); ++i)
        EXPECT_LT(host.conversions[i - 1].first, host.conversions[i].first);
}

namespace {

// A card folder read as a folder, with a twist given by a subclass.
class CardFolder : public CardSource {
public:
    explicit CardFolder(const std::string& folder) : m_inner(folder) {}
    Status list(const Visitor& visit) override { return m_inner.list(visit); }
    Status read(Run& run, const CardItem& item, ChunkSink& sink) override { return m_inner.read(run, item, sink); }
    int file_system_type(unsigned long& type) override { return m_inner.file_system_type(type); }
    const std::string& folder() const override { return m_inner.folder(); }

private:
    FolderSource m_inner;
};

// Gains a photo once it has been listed for the count, as a card still in a camera that
// takes one more.
class GrowingCard : public CardFolder {
public:
    using CardFolder::CardFolder;
    Status list(const Visitor& visit) override
    {
        Status listed = CardFolder::list(visit);
        if (!m_grown) {
            m_grown = true;
            cardgen::write_jpeg(folder() + "/IMG_0009.JPG", {});
            cardgen::set_file_time(folder() + "/IMG_0009.JPG", cardgen::kDayOne);
        }
        return listed;
    }

private:
    bool m_grown = false;
};

// On the kernel's exFAT driver, whose file times hold the camera's zone-less wall-clock.
class ExfatCard : public CardFolder {
public:
    using CardFolder::CardFolder;
    int file_system_type(unsigned long& type) override
    {
        type = 0x2011bab0;
        return 0;
    }
};

// The run's request as the copy command makes it from args.
std::optional<RunRequest> request_of(const std::vector<std::string>& args)
{
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    Failure refused;
    bool misuse = false;
    auto request = parse_copy_arguments(static_cast<int>(argv.size()), argv.data(), refused, misuse);
    EXPECT_TRUE(request) << refused.message;
    return request;
}

// Sets the process's zone for one test.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedZone()
    {
        if (m_old)
            ::setenv("TZ", m_old->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> m_old;
};

}  // namespace

// An exFAT card's times are the camera's wall-clock whatever the computer's zone (mounted
// without sys_tz or time_offset: read as UTC): 23:30 on the 12th stays the 12th five hours east.
TEST_F(Copycard, ExfatCardTimesAreTheCamerasWallClockInAnyZone)
{
    const ScopedZone east("<+05>-5");
    cardgen::write_jpeg(card() + "/IMG_0001.JPG", {});
    cardgen::set_file_time(card() + "/IMG_0001.JPG", cardgen::kDayOne - 12 * 3600 + 23 * 3600 + 1800);
    std::optional<RunRequest> request = request_of(args);
    ASSERT_TRUE(request);
    request->card_source = [](const std::string& folder, HostHooks&) { return std::make_unique<ExfatCard>(folder); };

    const RunResult ended = ingest(*request, host);

    ASSERT_EQ(ended.end, RunEnd::succeeded) << shown();
    EXPECT_EQ(ended.folder, (dir.path() / "primary/2006-06-12").string());
}

// The backup pass copied more files than were counted: the run ends before the primary pass
// copies anything, since its report could not add up.
TEST_F(Copycard, CardThatGainsAFileDuringTheRunFailsBeforeThePrimaryPass)
{
    cardgen::write_jpeg(card() + "/IMG_0001.JPG", {});
    cardgen::set_file_time(card() + "/IMG_0001.JPG", cardgen::kDayOne);
    std::optional<RunRequest> request = request_of(args);
    ASSERT_TRUE(request);
    request->card_source = [](const std::string& folder, HostHooks&) { return std::make_unique<GrowingCard>(folder); };

    const RunResult ended = ingest(*request, host);

    EXPECT_EQ(ended.end, RunEnd::failed);
    ASSERT_TRUE(ended.failure);
    EXPECT_EQ(ended.failure->message, "Image count discrepency.");
    EXPECT_FALSE(fs::exists(dir.path() / "primary")) << "the primary pass began";
}
