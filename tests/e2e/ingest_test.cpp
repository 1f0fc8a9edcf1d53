// Whole ingestions of generated cards through copycard: the trees, names, report, times,
// sidecars and converter runs a photographer gets, and a card left as it was.

#include "e2e_support.h"

#include <gtest/gtest-spi.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>

namespace oakvane::e2e {
namespace {

using test::list_tree;
using test::read_file;

constexpr std::time_t kDayOne = cardgen::kDayOne;  // 2006-06-12 12:00:00 UTC
constexpr std::time_t kDayTwo = cardgen::kDayTwo;

class IngestTest : public E2eTest {
protected:
    // Where a card file goes, below either root.
    struct Placement {
        std::string card;
        std::string placed;
    };

    // Checks both trees hold exactly these copies (and the given sidecars), each equal to
    // its card file in bytes and time, the sidecars equal to the template.
    void expect_trees(const std::vector<Placement>& placements, const std::vector<std::string>& sidecars)
    {
        std::vector<std::string> expected = sidecars;
        for (const Placement& p : placements)
            expected.push_back(p.placed);
        std::sort(expected.begin(), expected.end());
        for (const fs::path& root : {backup(), primary()}) {
            SCOPED_TRACE(root.string());
            EXPECT_EQ(list_tree(root), expected);
            for (const Placement& p : placements)
                expect_copy_of(root / p.placed, p.card);
            for (const std::string& sidecar : sidecars)
                EXPECT_EQ(read_file(root / sidecar), template_text()) << sidecar;
        }
    }
};

TEST_F(IngestTest, DemoCardIntoDateUserAndRangeFolders)
{
    make_card(cardgen::preset("demo"));
    IngestArgs a = args();
    a.switches = "DUR";
    a.sidecar = template_path();

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string last = (primary() / "2006-06-13/Wedding/0005-0007").string();
    EXPECT_EQ(output_lines(r.out),
              success_output(15, "Skipping Adobe DNG Converter", {0, 15, 6, 7, 2}, last, 16));
    const std::string d1 = "2006-06-12/Wedding/0001-0004/IMG_20060612_";
    const std::string d2 = "2006-06-13/Wedding/0005-0007/IMG_20060613_";
    // The movie thumbnail and the voice memo carry number 0001 and the first day, so they
    // join the first range; hidden files stay on the card.
    expect_trees({{"DCIM/100CANON/IMG_0001.CR2", d1 + "0001.CR2"},
                  {"DCIM/100CANON/IMG_0001.JPG", d1 + "0001.JPG"},
                  {"DCIM/MISC/MVI_0001.THM", d1 + "0001.THM"},
                  {"DCIM/MISC/SND_0001.WAV", d1 + "0001.WAV"},
                  {"DCIM/100CANON/IMG_0002.CR2", d1 + "0002.CR2"},
                  {"DCIM/100CANON/IMG_0002.JPG", d1 + "0002.JPG"},
                  {"DCIM/100CANON/IMG_0003.CR2", d1 + "0003.CR2"},
                  {"DCIM/100CANON/IMG_0003.JPG", d1 + "0003.JPG"},
                  {"DCIM/100CANON/IMG_0004.CR2", d1 + "0004.CR2"},
                  {"DCIM/100CANON/IMG_0004.JPG", d1 + "0004.JPG"},
                  {"DCIM/101CANON/IMG_0005.CR2", d2 + "0005.CR2"},
                  {"DCIM/101CANON/IMG_0005.JPG", d2 + "0005.JPG"},
                  {"DCIM/101CANON/IMG_0006.CR2", d2 + "0006.CR2"},
                  {"DCIM/101CANON/IMG_0006.JPG", d2 + "0006.JPG"},
                  {"DCIM/101CANON/IMG_0007.JPG", d2 + "0007.JPG"}},
                 {d1 + "0001.xmp", d1 + "0002.xmp", d1 + "0003.xmp", d1 + "0004.xmp",
                  d2 + "0005.xmp", d2 + "0006.xmp", d2 + "0007.xmp"});
    EXPECT_FALSE(fs::exists(backup() / "2006-06-12/Wedding/0000-0000"));
    expect_card_unchanged();
}

TEST_F(IngestTest, ArrangementThreeMakesYearMonthAndDateFolders)
{
    make_card(cardgen::preset("demo"));
    IngestArgs a = args();
    a.arrangement = "3";
    a.switches = "D--";
    a.fmt = "EEEE";

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(output_lines(r.out),
              success_output(15, "Skipping Adobe DNG Converter", {0, 15, 6, 7, 2},
                             (primary() / "2006/06/2006-06-13").string(), 16));
    const std::string d1 = "2006/06/2006-06-12/";
    const std::string d2 = "2006/06/2006-06-13/";
    std::vector<Placement> placements;
    for (const char* name : {"IMG_0001.CR2", "IMG_0001.JPG", "IMG_0002.CR2", "IMG_0002.JPG",
                             "IMG_0003.CR2", "IMG_0003.JPG", "IMG_0004.CR2", "IMG_0004.JPG"})
        placements.push_back({std::string("DCIM/100CANON/") + name, d1 + name});
    for (const char* name : {"IMG_0005.CR2", "IMG_0005.JPG", "IMG_0006.CR2", "IMG_0006.JPG", "IMG_0007.JPG"})
        placements.push_back({std::string("DCIM/101CANON/") + name, d2 + name});
    placements.push_back({"DCIM/MISC/MVI_0001.THM", d1 + "MVI_0001.THM"});
    placements.push_back({"DCIM/MISC/SND_0001.WAV", d1 + "SND_0001.WAV"});
    expect_trees(placements, {});
    expect_card_unchanged();
}

// Only capital D, U and R switch a level on; anything else leaves the files in the roots.
TEST_F(IngestTest, LowerCaseSwitchesLeaveEveryFileInTheRoots)
{
    make_card(cardgen::preset("demo"));
    IngestArgs a = args();
    a.arrangement = "3";
    a.switches = "dur";
    a.fmt = "EEEE";

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(last_lines(output_lines(r.out), 2),
              (std::vector<std::string>{"Last primary folder: " + primary().string(),
                                        "Next starting number: 16"}));
    const std::vector<std::string> flat = {
        "IMG_0001.CR2", "IMG_0001.JPG", "IMG_0002.CR2", "IMG_0002.JPG", "IMG_0003.CR2",
        "IMG_0003.JPG", "IMG_0004.CR2", "IMG_0004.JPG", "IMG_0005.CR2", "IMG_0005.JPG",
        "IMG_0006.CR2", "IMG_0006.JPG", "IMG_0007.JPG", "MVI_0001.THM", "SND_0001.WAV"};
    EXPECT_EQ(list_tree(backup()), flat);
    EXPECT_EQ(list_tree(primary()), flat);
    expect_only_complete_files(backup());
    expect_only_complete_files(primary());
    expect_card_unchanged();
}

TEST_F(IngestTest, AutomaticNumbersNameFilesAndTheRangeFolder)
{
    make_card(cardgen::preset("demo"));
    IngestArgs a = args();
    a.switches = "-UR";
    a.fmt = "SAEE";
    a.starting = "41";

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(output_lines(r.out),
              success_output(15, "Skipping Adobe DNG Converter", {0, 15, 6, 7, 2},
                             (primary() / "Wedding/0041-0055").string(), 56));
    // Which card file gets which number follows the walk's order; the numbers themselves
    // must be 41 to 55, once each, and the extensions those of the card.
    std::vector<std::string> numbers;
    std::multiset<std::string> extensions;
    for (const std::string& rel : list_tree(backup())) {
        const fs::path p(rel);
        EXPECT_EQ(p.parent_path(), "Wedding/0041-0055");
        numbers.push_back(p.stem().string());
        extensions.insert(p.extension().string());
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::string> expected_numbers;
    for (int n = 41; n <= 55; ++n)
        expected_numbers.push_back("IMG_00" + std::to_string(n));
    EXPECT_EQ(numbers, expected_numbers);
    EXPECT_EQ(extensions, (std::multiset<std::string>{".CR2", ".CR2", ".CR2", ".CR2", ".CR2", ".CR2",
                                                      ".JPG", ".JPG", ".JPG", ".JPG", ".JPG", ".JPG",
                                                      ".JPG", ".THM", ".WAV"}));
    EXPECT_EQ(list_tree(primary()), list_tree(backup()));
    expect_only_complete_files(backup());
    expect_only_complete_files(primary());
    expect_card_unchanged();
}

TEST_F(IngestTest, NameFormatsGiveTheSameNameInBothTrees)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne + 3723);  // 13:02:03
    card_done();
    struct Case {
        const char* fmt;
        const char* text2;
        const char* starting;
        const char* name;  // a regular expression
    };
    const Case cases[] = {
        {"SDNE", "Job", "1", R"(IMG_20060612_0001\.JPG)"},
        {"SAEE", "Job", "7", R"(IMG_0007\.JPG)"},
        {"SSFE", "Job", "1", R"(IMG_Job_IMG_0001\.JPG)"},
        {"EEEE", "Job", "1", R"(IMG_0001\.JPG)"},
        {"dtEE", "Job", "1", R"(060612_060612_130203\.JPG)"},
        {"TNSS", "Job", "1", R"(20060612_130203_0001_Three_Four\.JPG)"},
        {"SSSE", "", "1", R"(IMG_Three\.JPG)"},             // an empty text leaves no "__"
        {"SSEE", "Big__Day", "1", R"(IMG_Big_Day\.JPG)"},   // runs of "_" collapse
        {"SUEE", "Job", "1", R"(IMG_[0-9A-F]+[0-9A-F]{5}\.JPG)"},
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fmt);
        IngestArgs a = args();
        a.fmt = c.fmt;
        a.texts[1] = c.text2;
        a.starting = c.starting;
        a.backup = in_tmp("backup" + std::to_string(run));
        a.primary = in_tmp("primary" + std::to_string(run));
        ++run;

        const ProcessResult r = run_copycard(a);

        EXPECT_EQ(r.exit_code, 0) << r.err;
        const std::vector<std::string> names = list_tree(a.backup);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_TRUE(std::regex_match(names[0], std::regex(c.name))) << names[0];
        EXPECT_EQ(list_tree(a.primary), names);
        expect_copy_of(fs::path(a.primary) / names[0], "DCIM/100CANON/IMG_0001.JPG");
    }
    expect_card_unchanged();
}

// The automatic numbers of a run never pass 9998: a run that would is started at 1.
TEST_F(IngestTest, StartingNumberWrapsToOneRatherThanPassNineThousandNineHundredNinetyNine)
{
    for (int i = 1; i <= 3; ++i)
        add_jpeg("DCIM/100CANON/IMG_000" + std::to_string(i) + ".JPG", kDayOne + i, i);
    card_done();
    struct Case {
        const char* starting;
        std::vector<std::string> names;
        const char* next;
    };
    const Case cases[] = {
        {"9997", {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}, "4"},
        {"9996", {"IMG_9996.JPG", "IMG_9997.JPG", "IMG_9998.JPG"}, "9999"},
        {"abc", {"IMG_0000.JPG", "IMG_0001.JPG", "IMG_0002.JPG"}, "3"},  // no digits: 0
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.starting);
        IngestArgs a = args();
        a.fmt = "SAEE";
        a.starting = c.starting;
        a.backup = in_tmp("backup" + std::to_string(run));
        a.primary = in_tmp("primary" + std::to_string(run));
        ++run;

        const ProcessResult r = run_copycard(a);

        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(list_tree(a.backup), c.names);
        EXPECT_EQ(last_lines(output_lines(r.out), 1),
                  std::vector<std::string>{std::string("Next starting number: ") + c.next});
    }
    expect_card_unchanged();
}

TEST_F(IngestTest, SameNamesInOneFolderGetSequenceNumbers)
{
    make_card(cardgen::preset("demo"));
    IngestArgs a = args();
    a.fmt = "SEEE";  // every file is called IMG

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::vector<std::string> expected = {
        "IMG.CR2", "IMG.JPG", "IMG.THM", "IMG.WAV",
        "IMG_001.CR2", "IMG_001.JPG", "IMG_002.CR2", "IMG_002.JPG", "IMG_003.CR2", "IMG_003.JPG",
        "IMG_004.CR2", "IMG_004.JPG", "IMG_005.CR2", "IMG_005.JPG", "IMG_006.JPG"};
    EXPECT_EQ(list_tree(backup()), expected);
    EXPECT_EQ(list_tree(primary()), expected);
    expect_only_complete_files(backup());
    expect_only_complete_files(primary());
    expect_card_unchanged();
}

// A run whose range folder is named like one already there leaves that one alone: its own
// range folder gets a letter.
TEST_F(IngestTest, RangeFolderWhoseNameIsTakenGetsALetter)
{
    make_card(cardgen::preset("demo"));
    IngestArgs a = args();
    a.switches = "-UR";
    ASSERT_EQ(run_copycard(a).exit_code, 0);
    const TreeState first = snapshot(backup());
    // A card ingested again adds nothing; without its history the backup tree knows nothing
    // of the first run, and the second run's copies all want its range folder.
    fs::remove_all(backup() / "ascmhl");

    a.primary = in_tmp("primary2");
    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(last_lines(output_lines(r.out), 2),
              (std::vector<std::string>{"Last primary folder: " + in_tmp("primary2/Wedding/0001-0007a"),
                                        "Next starting number: 16"}));
    std::vector<std::string> old_files, new_files;
    for (const std::string& rel : list_tree(backup()))
        (rel.starts_with("Wedding/0001-0007/") ? old_files : new_files).push_back(rel);
    EXPECT_EQ(old_files.size(), 15u);
    for (const std::string& rel : new_files)
        EXPECT_TRUE(rel.starts_with("Wedding/0001-0007a/")) << rel;
    EXPECT_EQ(new_files.size(), 15u);
    for (const auto& [rel, state] : first) {
        // The tree's history grows by a generation a run; its own tests look at it.
        if (state.directory || rel.starts_with("ascmhl/"))
            continue;
        EXPECT_EQ(hash_file(backup() / rel), state.hash) << rel;
        EXPECT_EQ(mtime_ns(backup() / rel), state.mtime_ns) << rel;
    }
    EXPECT_EQ(list_tree(in_tmp("primary2")), new_files);
    expect_only_complete_files(backup());
    expect_card_unchanged();
}

class ConversionTest : public IngestTest {
protected:
    // Three RAW+JPEG pairs on the first day; two lone raws and a lone JPEG on the second.
    void make_conversion_card()
    {
        cardgen::CardLayout layout;
        layout.pairs = 3;
        layout.lone_raws = 2;
        layout.lone_jpegs = 1;
        layout.jpeg_width = 160;
        layout.jpeg_height = 120;
        layout.raw_bytes = 50 * 1024;
        layout.lone_raw_bytes = 30 * 1024;
        layout.hidden = true;
        make_card(layout);
    }

    IngestArgs conversion_args()
    {
        IngestArgs a = args();
        a.converter = STANDIN_CONVERTER;
        a.switches = "D--";
        a.fmt = "EEEE";
        a.sidecar = template_path();
        return a;
    }

    std::string log() const { return in_tmp("converter.log"); }
    std::vector<std::string> log_env() const { return {"STANDIN_CONVERTER_LOG=" + log()}; }

    // The converter's runs with each output folder given as the folder it lies in: the
    // converter writes into a fresh hidden folder of the run's own, whose name is random.
    std::vector<std::vector<std::string>> runs_by_folder() const
    {
        auto runs = converter_runs(log());
        for (auto& run : runs) {
            const auto d = std::find(run.begin(), run.end(), "-d");
            if (d == run.end() || d + 1 == run.end())
                continue;
            const fs::path out(*(d + 1));
            EXPECT_TRUE(out.filename().string().starts_with(".oakvane-part-")) << out;
            *(d + 1) = out.parent_path().string();
        }
        return runs;
    }

    std::vector<std::string> converter_call(const IngestArgs& a, const std::string& out_folder,
                                            const std::vector<std::string>& raws) const
    {
        std::vector<std::string> argv = {STANDIN_CONVERTER, a.preview};
        if (!a.embed.empty())
            argv.push_back(a.embed);
        argv.push_back("-d");
        argv.push_back(out_folder);
        for (const std::string& raw : raws)
            argv.push_back((backup() / raw).string());
        return argv;
    }
};

const std::vector<std::string> kConversionBackupTree = {
    "2006-06-12/IMG_0001.CR2", "2006-06-12/IMG_0001.JPG", "2006-06-12/IMG_0001.xmp",
    "2006-06-12/IMG_0002.CR2", "2006-06-12/IMG_0002.JPG", "2006-06-12/IMG_0002.xmp",
    "2006-06-12/IMG_0003.CR2", "2006-06-12/IMG_0003.JPG", "2006-06-12/IMG_0003.xmp",
    "2006-06-13/IMG_0004.CR2", "2006-06-13/IMG_0004.xmp", "2006-06-13/IMG_0005.CR2",
    "2006-06-13/IMG_0005.xmp", "2006-06-13/IMG_0006.JPG", "2006-06-13/IMG_0006.xmp"};

TEST_F(ConversionTest, DngsGoToPrimaryAndRawsStayOnlyInBackup)
{
    make_conversion_card();
    IngestArgs a = conversion_args();
    a.preview = "-p2";
    a.embed = "-e";

    const ProcessResult r = run_copycard(a, log_env());

    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(output_lines(r.out), success_output(9, "Running Adobe DNG Converter", {5, 4, 5, 4, 0},
                                                  (primary() / "2006-06-13").string(), 10));
    EXPECT_EQ(list_tree(backup()), kConversionBackupTree);
    // DNG files get no sidecar of their own: a lone raw's DNG stands without one.
    EXPECT_EQ(list_tree(primary()),
              (std::vector<std::string>{
                  "2006-06-12/IMG_0001.JPG", "2006-06-12/IMG_0001.dng", "2006-06-12/IMG_0001.xmp",
                  "2006-06-12/IMG_0002.JPG", "2006-06-12/IMG_0002.dng", "2006-06-12/IMG_0002.xmp",
                  "2006-06-12/IMG_0003.JPG", "2006-06-12/IMG_0003.dng", "2006-06-12/IMG_0003.xmp",
                  "2006-06-13/IMG_0004.dng", "2006-06-13/IMG_0005.dng", "2006-06-13/IMG_0006.JPG",
                  "2006-06-13/IMG_0006.xmp"}));
    for (const std::string& rel : kConversionBackupTree)
        if (!rel.ends_with(".xmp"))
            expect_copy_of(backup() / rel, "DCIM/100CANON/" + fs::path(rel).filename().string());
    for (const std::string& rel : files_with_extension(primary(), ".dng")) {
        const std::string raw = "DCIM/100CANON/" + fs::path(rel).stem().string() + ".CR2";
        EXPECT_EQ(read_file(primary() / rel),
                  "STANDIN-DNG\npreview -p2\nembedded\n" + read_file(card_root() / raw));
        EXPECT_EQ(mtime_ns(primary() / rel), mtime_ns(card_root() / raw)) << rel;
    }
    expect_only_complete_files(backup());
    expect_only_complete_files(primary());
    EXPECT_EQ(runs_by_folder(),
              (std::vector<std::vector<std::string>>{
                  converter_call(a, (primary() / "2006-06-12").string(),
                                 {"2006-06-12/IMG_0001.CR2", "2006-06-12/IMG_0002.CR2", "2006-06-12/IMG_0003.CR2"}),
                  converter_call(a, (primary() / "2006-06-13").string(),
                                 {"2006-06-13/IMG_0004.CR2", "2006-06-13/IMG_0005.CR2"})}));
    expect_card_unchanged();
}

TEST_F(ConversionTest, VerifyOnlyCopiesRawsAndLeavesNoScratchFolder)
{
    make_conversion_card();
    IngestArgs a = conversion_args();
    a.preview = "-p0";
    a.verify = "verifyOnly";

    const ProcessResult r = run_copycard(a, log_env());

    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(output_lines(r.out),
              success_output(9, "Running Adobe DNG Converter for verification only", {0, 9, 5, 4, 0},
                             (primary() / "2006-06-13").string(), 10));
    EXPECT_EQ(list_tree(backup()), kConversionBackupTree);
    EXPECT_EQ(list_tree(primary()), kConversionBackupTree);
    for (const std::string& rel : kConversionBackupTree)
        if (!rel.ends_with(".xmp"))
            expect_copy_of(primary() / rel, "DCIM/100CANON/" + fs::path(rel).filename().string());
    for (const auto& entry : fs::recursive_directory_iterator(primary()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    expect_only_complete_files(primary());
    EXPECT_EQ(runs_by_folder(),
              (std::vector<std::vector<std::string>>{
                  converter_call(a, (primary() / "2006-06-12").string(),
                                 {"2006-06-12/IMG_0001.CR2", "2006-06-12/IMG_0002.CR2", "2006-06-12/IMG_0003.CR2"}),
                  converter_call(a, (primary() / "2006-06-13").string(),
                                 {"2006-06-13/IMG_0004.CR2", "2006-06-13/IMG_0005.CR2"})}));
    expect_card_unchanged();
}

TEST_F(ConversionTest, ConverterGetsAtMostFiftyFilesPerProcess)
{
    cardgen::CardLayout layout;
    layout.lone_raws = 120;
    layout.lone_raw_bytes = 512;
    make_card(layout);
    IngestArgs a = conversion_args();
    a.switches = "---";
    a.sidecar = "";

    const ProcessResult r = run_copycard(a, log_env());

    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(output_lines(r.out), success_output(120, "Running Adobe DNG Converter", {120, 0, 120, 0, 0},
                                                  primary().string(), 121));
    const auto runs = runs_by_folder();
    ASSERT_EQ(runs.size(), 3u);
    const std::size_t fixed = 4;  // program, -p1, -d, folder
    std::vector<std::string> handed;
    std::vector<std::size_t> sizes;
    for (const auto& run : runs) {
        ASSERT_GT(run.size(), fixed);
        EXPECT_EQ(std::vector<std::string>(run.begin(), run.begin() + fixed),
                  (std::vector<std::string>{STANDIN_CONVERTER, "-p1", "-d", primary().string()}));
        sizes.push_back(run.size() - fixed);
        handed.insert(handed.end(), run.begin() + fixed, run.end());
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{50, 50, 20}));
    std::vector<std::string> raws;
    for (const std::string& rel : list_tree(backup()))
        raws.push_back((backup() / rel).string());
    EXPECT_EQ(handed, raws);  // each raw once, in sorted order
    EXPECT_EQ(files_with_extension(primary(), ".dng").size(), 120u);
    expect_only_complete_files(primary());
    expect_card_unchanged();
}

TEST_F(IngestTest, CardWithOnlyHiddenFilesSucceedsWithZeroCounts)
{
    add_bytes("DCIM/.hidden", kDayOne, "skip\n");
    add_bytes("DCIM/100CANON/._IMG_0001.JPG", kDayOne, "resource fork");
    card_done();
    IngestArgs a = args();
    a.switches = "DUR";
    a.starting = "77";

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(output_lines(r.out),
              success_output(0, "Skipping Adobe DNG Converter", {}, "[none]", 77));
    EXPECT_TRUE(fs::is_directory(backup()));
    EXPECT_TRUE(fs::is_empty(backup()));
    EXPECT_FALSE(fs::exists(primary()));
    expect_card_unchanged();
}

// Camera video passes 2 GiB: such a file must pass the size checks of both copies. Card
// and copies are kept in memory, where a sparse card file reads quickly and the copies
// cost no disk.
TEST_F(IngestTest, FileOverTwoGibibytesIsCopiedWhole)
{
    constexpr std::uintmax_t kCopiesNeed = 5ull << 30;
    if (available_memory() < kCopiesNeed + (1ull << 30))
        GTEST_SKIP() << "needs 6 GiB of free memory for two copies of 2 GiB, has "
                     << (available_memory() >> 20) << " MiB";
    TmpfsMount card_memory, copies_memory;
    std::string why;
    if (!card_memory.mount(card_root(), 1 << 20, why) || !copies_memory.mount(tmp() / "memory", kCopiesNeed, why))
        GTEST_SKIP() << why;
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", kDayOne);
    const fs::path movie = card_root() / "DCIM/100CANON/MVI_0002.MOV";
    const std::uintmax_t size = (2ull << 30) + 4097;  // not a whole number of copy blocks
    std::ofstream(movie).put('M');
    fs::resize_file(movie, size);  // sparse, apart from the marks below
    {
        std::fstream f(movie, std::ios::in | std::ios::out | std::ios::binary);
        for (const std::uintmax_t at : {(std::uintmax_t(1) << 31) - 2, size - 4}) {
            f.seekp(static_cast<std::streamoff>(at));
            f.write("mark", 4);
        }
    }
    set_mtime(movie, kDayOne + 4);
    card_done();
    IngestArgs a = args();
    a.fmt = "EEEE";
    a.backup = (tmp() / "memory/backup").string();
    a.primary = (tmp() / "memory/primary").string();

    const ProcessResult r = run_copycard(a);

    EXPECT_EQ(r.exit_code, 0) << r.err;
    // Both trees are on a tmpfs, whose pages can't be dropped: the copies are read back
    // from memory, and the list says so once.
    std::vector<std::string> expected =
        success_output(2, "Skipping Adobe DNG Converter", {0, 2, 0, 1, 1}, a.primary, 3);
    expected.insert(expected.begin() + 2,
                    "Copies were checked from the cache: the file system keeps them there");
    EXPECT_EQ(output_lines(r.out), expected);
    for (const std::string& root : {a.backup, a.primary}) {
        EXPECT_EQ(list_tree(root), (std::vector<std::string>{"IMG_0001.JPG", "MVI_0002.MOV"}));
        expect_copy_of(fs::path(root) / "MVI_0002.MOV", "DCIM/100CANON/MVI_0002.MOV");
    }
    expect_card_unchanged();
}

// Sanity of the fixture itself: a copy with a changed byte or time is caught.
TEST_F(IngestTest, CardCheckNoticesAChangedFile)
{
    add_raw("DCIM/100CANON/IMG_0001.CR2", kDayTwo, 4096, 5);
    card_done();
    const fs::path raw = card_root() / "DCIM/100CANON/IMG_0001.CR2";
    std::string bytes = read_file(raw);
    bytes[100] ^= 1;
    test::write_file(raw, bytes);
    set_mtime(raw, kDayTwo);
    EXPECT_NONFATAL_FAILURE(expect_card_unchanged(), "IMG_0001.CR2");
    card_done();
    test::write_file(card_root() / "DCIM/new.txt", "x");
    EXPECT_NONFATAL_FAILURE(expect_only_complete_files(card_root()), "new.txt");
}

}  // namespace
}  // namespace oakvane::e2e
