// The run's summary lines and the engine's argument vector, from settings alone.

#include "run_settings.h"
#include "run_texts.h"

#include <gtest/gtest.h>

namespace oakvane {
namespace {

using Lines = std::vector<std::string>;

// Every preference at its default, one card mounted and chosen.
RunSettings defaults()
{
    RunSettings run;
    run.card_folder = "/media/card/DCIM";
    run.backup_folder = "/home/ann/OakvaneBackup";
    run.primary_folder = "/home/ann/Pictures";
    run.converter_app = "";
    run.keep_raw = false;
    run.arrangement = 2;
    run.texts = {"IMG", "", "", ""};
    run.name_fmt = "SDNE";
    run.preview = "-p0";
    run.template_name = "[none]";
    run.template_folder = "/home/ann/.config/Oakvane/Metadata Templates";
    run.want_date_folders = true;
    run.starting_number = "1";
    run.starting_number_used = false;
    return run;
}

// The request as the "copy" command's arguments, for comparing it field by field.
Lines engine_arguments(const RunSettings& run)
{
    Failure why;
    const std::optional<RunRequest> request = run_request(run, why);
    if (!request)
        return {why.message};
    const auto arguments = copy_arguments(*request);
    return Lines(arguments.begin(), arguments.end());
}

TEST(RunSettings, DefaultsGiveTheVectorAndSummaryOfAPlainRun)
{
    RunSettings run = defaults();
    run.keep_raw = true;
    run.converter_app = "/opt/dng/convert";
    EXPECT_EQ(engine_arguments(run),
              (Lines{"copycard", "copy", "/media/card/DCIM", "/home/ann/OakvaneBackup",
                     "/home/ann/Pictures", "/opt/dng/convert", "2", "IMG", "", "", "", "SDNE",
                     "-p0", "", "-", "", "D--", "1", ""}));
    EXPECT_EQ(run_summary_lines(run),
              (Lines{"Card Folder: /media/card/DCIM",
                     "Primary Image Folder: /home/ann/Pictures",
                     "Backup Image Folder: /home/ann/OakvaneBackup",
                     "Run Adobe DNG Converter: Yes (No JPEG preview)",
                     "Metadata Template: [none]",
                     "Primary Image Arrangement:",
                     "    Date Folder(s): Year and Date Folders",
                     "    User-Named Folder: [not used]",
                     "    Number-Range Folder: [not used]",
                     "Starting Number: 1 (not used)"}));
}

TEST(RunSettings, ConverterLineAndArgument)
{
    struct Case {
        bool keep_raw;
        bool verify_only;
        std::string preview;
        std::string line;
    };
    const Case cases[] = {
        {false, true, "-p2", "Run Adobe DNG Converter: No"},
        {true, true, "-p2", "Run Adobe DNG Converter: Yes (verify only)"},
        {true, false, "-p1", "Run Adobe DNG Converter: Yes (Medium-size JPEG preview)"},
        {true, false, "-p2", "Run Adobe DNG Converter: Yes (Full-size JPEG preview)"},
        {true, false, "-p9", "Run Adobe DNG Converter: Yes"},
        {true, false, "", "Run Adobe DNG Converter: Yes"},
    };
    for (const Case& c : cases) {
        RunSettings run = defaults();
        run.converter_app = "/opt/dng/convert";
        run.keep_raw = c.keep_raw;
        run.verify_only = c.verify_only;
        run.preview = c.preview;
        run.embed = true;
        EXPECT_EQ(run_summary_lines(run)[3], c.line) << c.preview;
        const Lines argv = engine_arguments(run);
        EXPECT_EQ(argv[5], c.keep_raw ? "/opt/dng/convert" : "none");
        // Embed and verify-only travel as they stand, converter or not.
        EXPECT_EQ(argv[12], c.preview);
        EXPECT_EQ(argv[13], "-e");
        EXPECT_EQ(argv[14], c.verify_only ? "verifyOnly" : "-");
    }
}

TEST(RunSettings, ArrangementLinesAndSwitches)
{
    RunSettings run = defaults();
    run.want_date_folders = false;
    run.want_user_folder = true;
    run.want_range_folder = true;
    run.user_folder_name = "Smith Wedding";
    Lines summary = run_summary_lines(run);
    EXPECT_EQ(summary[6], "    Date Folder(s):  [not used]");
    EXPECT_EQ(summary[7], "    User-Named Folder: Smith Wedding");
    EXPECT_EQ(summary[8], "    Number-Range Folder: Yes");
    EXPECT_EQ(engine_arguments(run)[16], "-UR");
    EXPECT_EQ(engine_arguments(run)[18], "Smith Wedding");

    run.want_date_folders = true;
    const std::pair<int, std::string> depths[] = {
        {1, "Date Folders"}, {2, "Year and Date Folders"}, {3, "Year, Month, and Date Folders"}};
    for (const auto& [arrangement, text] : depths) {
        run.arrangement = arrangement;
        EXPECT_EQ(run_summary_lines(run)[6], "    Date Folder(s): " + text);
        EXPECT_EQ(engine_arguments(run)[6], std::to_string(arrangement));
        EXPECT_EQ(engine_arguments(run)[16], "DUR");
    }
}

TEST(RunSettings, TemplateBecomesASidecarPathUnlessNone)
{
    RunSettings run = defaults();
    EXPECT_EQ(engine_arguments(run)[15], "");
    run.template_name = "Studio Basic";  // need not exist: the engine reports a missing file
    EXPECT_EQ(engine_arguments(run)[15],
              "/home/ann/.config/Oakvane/Metadata Templates/Studio Basic.xmp");
    EXPECT_EQ(run_summary_lines(run)[4], "Metadata Template: Studio Basic");
    run.template_name = "[None]";  // only the exact sentinel means no sidecars
    EXPECT_NE(engine_arguments(run)[15], "");
}

TEST(RunSettings, StartingNumberIsUsedOnlyWithAutomaticNumbers)
{
    EXPECT_TRUE(uses_starting_number("SDAE"));
    EXPECT_FALSE(uses_starting_number("SDNE"));
    EXPECT_FALSE(uses_starting_number("SDaE"));
    RunSettings run = defaults();
    run.starting_number = "0042";
    run.starting_number_used = true;
    EXPECT_EQ(run_summary_lines(run).back(), "Starting Number: 0042");
    EXPECT_EQ(engine_arguments(run)[17], "42");
    // A number the engine can't count from is refused before a run starts.
    run.starting_number = "-5";
    Failure why;
    EXPECT_FALSE(run_request(run, why));
    EXPECT_EQ(why.message, "Starting number must be from 0 to 2147483647: \"-5\"");
}

TEST(RunTexts, IngestionTimeInMinutesAndSeconds)
{
    EXPECT_EQ(ingestion_time_text(0), "Ingestion time: 0 min. 0 sec.\n");
    EXPECT_EQ(ingestion_time_text(125), "Ingestion time: 2 min. 5 sec.\n");
    EXPECT_EQ(ingestion_time_text(7260), "Ingestion time: 121 min. 0 sec.\n");
}

}  // namespace
}  // namespace oakvane
