// copycard's command line: the self-test, and the argument checks that must refuse a run
// before anything is created.

#include "e2e_support.h"

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;

const std::string kUsageLine =
    "arg count -- copycard copy card_folder backup_folder primary_folder DNG_Converter_path "
    "arrangement text1 text2 text3 text4 fmt preview embed verifyOnly sidecar_path arrSwitches "
    "startingNumber userFolder";

class CliTest : public E2eTest {
protected:
    void SetUp() override
    {
        add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne);
        card_done();
    }

    // Nothing at all may exist of the run's folders after a refused run.
    void expect_nothing_created() const
    {
        EXPECT_FALSE(fs::exists(backup()));
        EXPECT_FALSE(fs::exists(primary()));
        expect_card_unchanged();
    }
};

Lines self_test_lines(const std::vector<std::string>& argv)
{
    Lines lines;
    for (std::size_t i = 0; i < argv.size(); ++i)
        lines.push_back("arg" + std::to_string(i) + ": [" + argv[i] + "]");
    for (int i = 0; i < 100; ++i)
        lines.push_back("Line " + std::to_string(i));
    return lines;
}

TEST_F(CliTest, SelfTestEchoesItsArgumentsAndAHundredLines)
{
    const std::vector<std::string> ok = {COPYCARD, "test", "one", "two words", ""};
    ProcessResult r = run_copycard(ok);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(output_lines(r.out), self_test_lines(ok));

    // "error" as the first argument after "test" makes the self-test report failure.
    const std::vector<std::string> failing = {COPYCARD, "test", "error"};
    r = run_copycard(failing);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out), self_test_lines(failing));

    const std::vector<std::string> bare = {COPYCARD, "test"};
    r = run_copycard(bare);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(output_lines(r.out), self_test_lines(bare));
}

TEST_F(CliTest, WrongArgumentCountShowsTheUsageLineOnce)
{
    std::vector<std::string> argv = args().argv();
    argv.pop_back();  // 18 entries
    ProcessResult r = run_copycard(argv);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out), Lines{kUsageLine});
    EXPECT_NE(r.err.find("arg count"), std::string::npos) << r.err;

    argv.push_back("Wedding");
    argv.push_back("extra");  // 20 entries
    r = run_copycard(argv);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out), Lines{kUsageLine});

    r = run_copycard(std::vector<std::string>{COPYCARD});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage"), std::string::npos) << r.err;
    expect_nothing_created();
}

TEST_F(CliTest, UnknownCommandDoesNothing)
{
    std::vector<std::string> argv = args().argv();
    argv[1] = "Copy";  // commands are case-sensitive
    const ProcessResult r = run_copycard(argv);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    expect_nothing_created();
}

TEST_F(CliTest, BackupAndPrimaryMustDiffer)
{
    IngestArgs a = args();
    a.primary = a.backup;
    const ProcessResult r = run_copycard(a);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out), (Lines{"", "ERROR:", "Backup and primary folders must be different."}));
    expect_nothing_created();
}

// The comparison is of the texts, exactly; on Linux these are two different folders.
TEST_F(CliTest, FoldersDifferingOnlyInCaseAreDifferent)
{
    IngestArgs a = args();
    a.backup = in_tmp("Library");
    a.primary = in_tmp("library");
    const ProcessResult r = run_copycard(a);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(test::list_tree(a.backup), Lines{"IMG_20060612_0001.JPG"});
    EXPECT_EQ(test::list_tree(a.primary), Lines{"IMG_20060612_0001.JPG"});
}

TEST_F(CliTest, ArrSwitchesMustBeThreeCharacters)
{
    for (const char* switches : {"DU", "DURR", ""}) {
        SCOPED_TRACE(switches);
        IngestArgs a = args();
        a.switches = switches;
        const ProcessResult r = run_copycard(a);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("arrSwitches must be 3 chars"), std::string::npos) << r.err;
    }
    expect_nothing_created();
}

TEST_F(CliTest, BackupFolderWhoseParentIsMissingFailsBeforeCopying)
{
    IngestArgs a = args();
    a.backup = in_tmp("no/such/backup");
    const ProcessResult r = run_copycard(a);
    EXPECT_EQ(r.exit_code, 1);
    // The message names the folder and the system's reason.
    EXPECT_EQ(output_lines(r.out), (Lines{"Creating folders", "", "ERROR:",
                                          "Can't create backup folder.: " + a.backup +
                                              ": No such file or directory"}));
    EXPECT_FALSE(fs::exists(in_tmp("no")));
    expect_nothing_created();
}

TEST_F(CliTest, MissingCardFolderFailsTheCount)
{
    IngestArgs a = args();
    a.card = in_tmp("card/NOSUCH");
    const ProcessResult r = run_copycard(a);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out), (Lines{"", "ERROR:", "ftw failed: " + a.card + ": No such file or directory"}));
    expect_nothing_created();
}

}  // namespace
}  // namespace oakvane::e2e
