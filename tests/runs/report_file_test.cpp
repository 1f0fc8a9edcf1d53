// Reports written into a report folder: every run keeps its own report, whoever else writes
// there at the same moment, and whatever the folder already holds; a report is said to be
// written only once it is safe on disk.

#include "fs_faults.h"
#include "run_report.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace oakvane {
namespace {

namespace fs = std::filesystem;

// TZ=UTC: the start below is 2006-06-12 12:00:00 in the report's name.
constexpr const char* kName = "NIKON_D70_20060612-120000";

RunRecord run_with(const std::string& message)
{
    RunRecord run;
    run.card_folder = "/media/ann/NIKON_D70/DCIM";
    run.card_name = "/media/ann/NIKON_D70/ (NIKON_D70)";
    run.message = message;
    run.started = QDateTime(QDate(2006, 6, 12), QTime(12, 0), Qt::UTC);
    run.ended = run.started.addSecs(60);
    return run;
}

std::vector<std::string> names_in(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ReportFolderTest : public ::testing::TestWithParam<bool> {
protected:
    // The parameter: renameat2 can't take flags here, as on NFS, and the link fallback runs.
    ReportFolderTest()
    {
        oakvane_fault_renameat2_einval = GetParam() ? 1 : 0;
        oakvane_fault_renameat2_failed = 0;
    }
    ~ReportFolderTest() override { oakvane_fault_renameat2_einval = 0; }

    void expect_the_fallback_ran() const
    {
        if (GetParam()) {
            EXPECT_GT(oakvane_fault_renameat2_failed, 0) << "renameat2 was never asked";
        }
    }

    test::TempDir m_tmp;
};

// Two stations, or a station and the window, on one report folder: a name found free can be
// taken before the report gets it.
TEST_P(ReportFolderTest, WritersAtTheSameMomentNeverReplaceOneAnother)
{
    constexpr int kWriters = 8;
    constexpr int kReports = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([this, w] {
            for (int r = 0; r < kReports; ++r) {
                std::string path;
                std::string why;
                if (!write_report_in(m_tmp.str(), run_with("writer " + std::to_string(w) + " report " +
                                                               std::to_string(r)), path, why))
                    ADD_FAILURE() << why;
            }
        });
    for (std::thread& writer : writers)
        writer.join();

    const std::vector<std::string> names = names_in(m_tmp.path());
    ASSERT_EQ(names.size(), std::size_t(kWriters * kReports)) << "no temporary file left, none lost";
    std::vector<std::string> messages;
    for (const std::string& name : names) {
        const std::string json = test::read_file(m_tmp.path() / name);
        const std::size_t at = json.find("\"writer ");
        ASSERT_NE(at, std::string::npos) << name;
        messages.push_back(json.substr(at, json.find('"', at + 1) - at));
    }
    std::sort(messages.begin(), messages.end());
    EXPECT_EQ(std::unique(messages.begin(), messages.end()), messages.end());
    expect_the_fallback_ran();
}

// A link where a report's name would be: whatever it points at stays as it was, and the report
// takes the next name.
TEST_P(ReportFolderTest, LinksInTheFolderAreNamesTakenNeverFollowed)
{
    const fs::path elsewhere = m_tmp.path() / "elsewhere";
    fs::create_directory(elsewhere);
    test::write_file(elsewhere / "kept", "someone's file\n");
    fs::create_symlink(elsewhere / "kept", m_tmp.path() / (std::string(kName) + ".json"));
    fs::create_symlink(elsewhere / "absent", m_tmp.path() / (std::string(kName) + "_1.json"));

    std::string path;
    std::string why;
    EXPECT_TRUE(write_report_in(m_tmp.str(), run_with("third"), path, why)) << why;
    EXPECT_EQ(why, "");
    EXPECT_EQ(path, m_tmp / (std::string(kName) + "_2.json"));
    EXPECT_EQ(test::read_file(elsewhere / "kept"), "someone's file\n");
    EXPECT_FALSE(fs::exists(elsewhere / "absent"));
    EXPECT_EQ(names_in(elsewhere), std::vector<std::string>{"kept"});
    expect_the_fallback_ran();
}

INSTANTIATE_TEST_SUITE_P(Rename, ReportFolderTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "LinkWhereRenameTakesNoFlags" : "RenameNoReplace"; });

// A folder whose flush fails may lose the report's name in a crash: the report is not said to
// be written, whichever way it was written.
class UnflushedFolderTest : public ::testing::Test {
protected:
    UnflushedFolderTest() { oakvane_fault_folder_fsync_eio = 1; }
    ~UnflushedFolderTest() override { oakvane_fault_folder_fsync_eio = 0; }

    test::TempDir m_tmp;
};

TEST_F(UnflushedFolderTest, ReportIsNotSaidToBeWritten)
{
    std::string why;
    EXPECT_FALSE(write_report(m_tmp / "run.json", run_with("named"), why));
    EXPECT_NE(why.find("can't flush the folder \"" + m_tmp.str() + "\": "), std::string::npos) << why;

    std::string path;
    why.clear();
    EXPECT_FALSE(write_report_in(m_tmp.str(), run_with("kept"), path, why));
    EXPECT_NE(why.find("can't flush the folder \"" + m_tmp.str() + "\": "), std::string::npos) << why;
}

}  // namespace
}  // namespace oakvane
