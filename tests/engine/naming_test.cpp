#include "naming.h"
#include "recording_host.h"

#include <gtest/gtest.h>

#include <array>
#include <regex>

using namespace oakvane;

namespace {

// 2006-02-26 14:23:45 UTC; the tests run with TZ=UTC.
constexpr std::time_t kShot = 1140963825;

class Naming : public ::testing::Test {
protected:
    void SetUp() override
    {
        texts = {"IMG", "Job", "t3", "t4"};
        running_number = 7;
    }
    // The name of card_name in a fresh run with fmt, the texts and the running number as
    // they are now; the run's number afterwards is kept in running_number.
    std::string name(const std::string& fmt, const std::string& card_name = "DSC_1234.NEF")
    {
        RunRequest request;
        request.name_format = fmt;
        request.texts = texts;
        test::StepRun step(request);
        step.run.running_number = running_number;
        std::string made = make_image_file_name(step.run, card_name, kShot, number);
        running_number = step.run.running_number;
        return made;
    }
    std::array<std::string, 4> texts;
    int running_number = 0;
    std::string number;
};

struct Case {
    const char* fmt;
    const char* card_name;
    const char* expected;
    const char* number;
};

}  // namespace

TEST_F(Naming, FormatsGiveTheirComponents)
{
    const Case cases[] = {
        {"SDNE", "DSC_1234.NEF", "IMG_20060226_1234.NEF", "1234"},
        {"SAEE", "DSC_1234.NEF", "IMG_0007.NEF", "0007"},
        {"SSFE", "DSC_1234.NEF", "IMG_Job_DSC_1234.NEF", "1234"},
        {"EEEE", "DSC_1234.NEF", "DSC_1234.NEF", "0000"},
        {"dtEE", "DSC_1234.NEF", "060226_060226_142345.NEF", "0000"},
        {"TEEE", "DSC_1234.NEF", "20060226_142345.NEF", "0000"},
        {"1234", "DSC_1234.NEF", "IMG_Job_t3_t4.NEF", "0000"},
        {"NAEE", "DSC_1234.NEF", "1234_0007.NEF", "0007"},  // A replaces the camera number
        {"ANEE", "DSC_1234.NEF", "0007_1234.NEF", "0007"},  // ... and is not replaced by it
        {"SDN", "DSC_1234.NEF", "IMG_20060226_1234.NEF", "1234"},  // short format: rest empty
        {"SxEE", "DSC_1234.NEF", "IMG_.NEF", "0000"},  // unknown letter: still a separator
        {"SDNE", "IMG_123.JPG", "IMG_20060226_.JPG", "0000"},  // too short for a number
        {"SFEE", "IMG_123.JPG", "IMG_IMG_123.JPG", "0000"},
        {"SDEE", "README", "IMG_20060226", "0000"},
        {"EEEE", "A__B.JPG", "A_B.JPG", "0000"},
    };
    for (const Case& c : cases) {
        running_number = 7;
        EXPECT_EQ(name(c.fmt, c.card_name), c.expected) << c.fmt << " " << c.card_name;
        EXPECT_EQ(number, c.number) << c.fmt << " " << c.card_name;
    }
}

TEST_F(Naming, TextsAreUsedUnchangedButUnderscoresCollapse)
{
    texts = {"Big__Day", "", "x", "y"};
    EXPECT_EQ(name("SSDE"), "Big_Day_20060226.NEF");
}

TEST_F(Naming, RunningNumberAdvancesForEveryImage)
{
    RunRequest request;
    request.name_format = "SDNE";
    request.starting_number = 1;
    test::StepRun step(request);
    std::string ignored;
    for (int i = 0; i < 20; ++i)
        make_image_file_name(step.run, "DSC_1234.NEF", kShot, ignored);
    EXPECT_EQ(step.run.running_number, 21);
    running_number = 12345;
    EXPECT_EQ(name("AEEE"), "1234.NEF");  // four characters at most
}

TEST_F(Naming, UniqueIdsAreHexTimesTakenPerPosition)
{
    const std::string id = unique_id();
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]+[0-9A-F]{5}"))) << id;
    const std::string both = name("UUEE");
    EXPECT_TRUE(std::regex_match(both, std::regex("[0-9A-F]{13,}_[0-9A-F]{13,}\\.NEF"))) << both;
}

TEST(DateTimeText, UsesLocalTime)
{
    test::StepRun step;
    EXPECT_EQ(date_time_text(step.run, kShot), "20060226_142345");
}
