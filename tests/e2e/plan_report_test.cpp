// oakvane-ingest --plan and --report: a plan writes nothing and says exactly what the run
// right after it does; a report of every run, successful, failed or stopped, fits its schema.

#include "e2e_support.h"
#include "mounts.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

// One card file as a plan shows it.
struct Planned {
    std::string backup, backup_sidecar, primary, primary_sidecar, check;
};

struct Plan {
    std::map<std::string, Planned> files;  // by card path
    std::set<std::string> skipped;
    std::set<std::string> new_folders;
    std::string verdict;
};

Plan parse_plan(const std::string& out)
{
    static const std::regex file(R"(^File: (.*), \d+ bytes \(\d[^()]*\)$)");
    static const std::regex primary(R"(^    primary (.*) \((.*)\)$)");
    Plan plan;
    Planned* current = nullptr;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, file)) {
            current = &plan.files[m[1]];
        } else if (current && line.starts_with("    backup  ")) {
            current->backup = line.substr(12);
        } else if (current && std::regex_match(line, m, primary)) {
            current->primary = m[1];
            current->check = m[2];
        } else if (current && line.starts_with("    sidecar ")) {
            (current->primary.empty() ? current->backup_sidecar : current->primary_sidecar) = line.substr(12);
        } else if (line.starts_with("Skipped: ")) {
            plan.skipped.insert(line.substr(9, line.find(" (") - 9));
        } else if (line.starts_with("New folder: ")) {
            plan.new_folders.insert(line.substr(12));
        } else if (line.starts_with("Verdict: ")) {
            plan.verdict = line.substr(9);
        }
    }
    return plan;
}

// Every regular file below root, as full paths.
std::set<std::string> files_below(const fs::path& root)
{
    std::set<std::string> files;
    for (const std::string& relative : test::list_tree(root))
        files.insert((root / relative).string());
    return files;
}

// A tree's state as comparable lines: every entry with its size, content and time. Every
// start rewrites the profile's current-set line, unchanged: only content counts there.
Lines state_lines(const TreeState& tree)
{
    Lines lines;
    for (const auto& [path, entry] : tree) {
        const bool content_only = path.starts_with("config/");
        lines.push_back(path + " " + std::to_string(entry.size) + " " + std::to_string(entry.hash) +
                        (content_only ? "" : " " + std::to_string(entry.mtime_ns)));
    }
    return lines;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class PlanTest : public E2eTest {
protected:
    fs::path config() const { return tmp() / "config"; }

    // The preference set "Main" with these lines, made the current one.
    void write_set(const Lines& lines)
    {
        const fs::path store = config() / "Oakvane";
        fs::create_directories(store / "Main");
        std::string text = "Version\t1\nDate\tMon Dec  7 10:00:00 2026\n"
                           "CardFolder\t" + card_folder().string() + "\n"
                           "BackupFolder\t" + backup().string() + "\n"
                           "PrimaryFolder\t" + primary().string() + "\n";
        for (const std::string& line : lines)
            text += line + "\n";
        test::write_file(store / "Main" / "Main", text);
        test::write_file(store / "Oakvane.ini", "[App]\nPrefSetCurrent=Main\n");
        fs::create_directories(store / "Metadata Templates");
        fs::copy_file(template_path(), store / "Metadata Templates" / "Basic.xmp",
                      fs::copy_options::overwrite_existing);
        fs::create_directories(backup());
    }

    ProcessResult ingest(const Lines& args, const Lines& extra_env = {}) const
    {
        Lines argv = {OAKVANE_INGEST};
        argv.insert(argv.end(), args.begin(), args.end());
        Lines env = {"TZ=UTC", "XDG_CONFIG_HOME=" + config().string(), "HOME=" + (tmp() / "home").string()};
        env.insert(env.end(), extra_env.begin(), extra_env.end());
        return test::run_process(argv, env);
    }

    // Plans, checks that the plan wrote nothing, runs, and checks that both trees hold exactly
    // the planned files and the planned folders were made. Returns the plan.
    Plan plan_then_run(int expected_status)
    {
        // The very first start makes the "Default" set, as every program of the project does.
        ingest({"--plan"});
        const Lines before = state_lines(snapshot(tmp()));
        const ProcessResult planned = ingest({"--plan"});
        EXPECT_EQ(state_lines(snapshot(tmp())), before) << "the plan wrote something";
        const Plan plan = parse_plan(planned.out);
        EXPECT_EQ(planned.exit_code, expected_status) << planned.out << planned.err;
        for (const std::string& folder : plan.new_folders)
            EXPECT_FALSE(fs::exists(folder)) << folder;
        const std::set<std::string> backup_before = files_below(backup());
        const std::set<std::string> primary_before = files_below(primary());

        const ProcessResult run = ingest({});
        EXPECT_EQ(run.exit_code, expected_status) << run.out << run.err;
        if (expected_status != 0)
            return plan;
        std::set<std::string> backup_files = backup_before, primary_files = primary_before;
        for (const auto& [card, file] : plan.files) {
            for (const std::string& path : {file.backup, file.backup_sidecar})
                if (!path.empty())
                    backup_files.insert(path);
            for (const std::string& path : {file.primary, file.primary_sidecar})
                if (!path.empty())
                    primary_files.insert(path);
            expect_copy_of(file.backup, fs::relative(card, card_root()).string());
        }
        EXPECT_EQ(files_below(backup()), backup_files);
        EXPECT_EQ(files_below(primary()), primary_files);
        for (const std::string& folder : plan.new_folders)
            EXPECT_TRUE(fs::is_directory(folder)) << folder;
        return plan;
    }
};

// Range folders with a leftover placeholder and a range name already taken, a user folder,
// two card files of one name, raws to the converter, sidecars and hidden files.
TEST_F(PlanTest, RunDoesWhatThePlanSaid)
{
    cardgen::CardLayout layout;
    layout.pairs = 4;
    layout.lone_jpegs = 1;
    layout.raw_bytes = 3000;
    layout.folders = 2;
    layout.hidden = true;
    make_card(layout);
    add_jpeg("DCIM/101CANON/IMG_0001.JPG", cardgen::kDayOne, 7);  // the name of 100CANON's first
    add_raw("DCIM/101CANON/IMG_0005.DNG", cardgen::kDayTwo, 3000, 9);  // a camera's own DNG
    card_done();
    write_set({"ConverterApp\t" STANDIN_CONVERTER, "KeepRaw\t1", "NameFmt\tSNEE", "Template\tBasic",
               "WantDateFolders\t1", "WantUserFolder\t1", "UserFolder\tTrip", "WantRangeFolder\t1"});
    fs::create_directories(backup() / "2006/2006-06-12/Trip/0000-0000");
    fs::create_directories(backup() / "2006/2006-06-12/Trip/0001-0003");

    const Plan plan = plan_then_run(0);

    EXPECT_EQ(plan.files.size(), 11u);
    EXPECT_EQ(plan.skipped.size(), 2u);
    EXPECT_TRUE(plan.verdict.starts_with("the run can go ahead: 11 files")) << plan.verdict;
    std::set<std::string> checks, sequence_numbered, stepped_ranges;
    for (const auto& [card, file] : plan.files) {
        checks.insert(file.check);
        if (file.backup.find("_001.") != std::string::npos)
            sequence_numbered.insert(file.backup);
        if (file.backup.find("/0001-0003a/") != std::string::npos)
            stepped_ranges.insert(file.backup);
    }
    EXPECT_EQ(checks, (std::set<std::string>{"JPEG decoded", "converter verified", "raw decoded"}));
    EXPECT_EQ(sequence_numbered.size(), 1u);
    EXPECT_FALSE(stepped_ranges.empty());
    EXPECT_EQ(files_with_extension(primary(), ".dng").size(), 4u);
    expect_card_unchanged();
    // A plan on another set leaves the current one as it was ("Default" finds no card).
    EXPECT_EQ(ingest({"--plan", "--set", "Default"}).exit_code, 1);
    EXPECT_EQ(test::read_file(config() / "Oakvane/Oakvane.ini"), "[App]\nPrefSetCurrent=Main\n");
}

// A name taken in the backup gets a sequence number; a name taken in the primary tree fails
// the run, and the plan says so with the run's own message.
TEST_F(PlanTest, PlanTellsOfTakenNamesAndOfTheFailureToCome)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    add_jpeg("DCIM/100CANON/IMG_0002.JPG", cardgen::kDayOne, 2);
    card_done();
    write_set({"NameFmt\tEEEE", "WantDateFolders\t0"});
    test::write_file(backup() / "IMG_0001.JPG", "older");
    Plan plan = plan_then_run(0);
    EXPECT_EQ(plan.files[(card_folder() / "100CANON/IMG_0001.JPG").string()].backup,
              (backup() / "IMG_0001_001.JPG").string());

    // The card's next picture: the files ingested before are left as they are.
    add_jpeg("DCIM/100CANON/IMG_0005.JPG", cardgen::kDayOne, 5);
    card_done();
    test::write_file(primary() / "IMG_0005.JPG", "mine");
    const ProcessResult planned = ingest({"--plan"});
    plan = parse_plan(planned.out);
    const std::string message = "Primary file already exists: \"" + (primary() / "IMG_0005.JPG").string() + "\"";
    EXPECT_EQ(plan.files[(card_folder() / "100CANON/IMG_0002.JPG").string()].check, "already ingested");
    EXPECT_EQ(planned.exit_code, 1);
    EXPECT_EQ(plan.verdict, "the run would fail: " + message);
    const ProcessResult run = ingest({});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(last_lines(output_lines(run.out), 4), (Lines{"ERROR:", message, "", "Finished"})) << run.out;

    // A refusal before anything is written shows as the run shows it, and as the verdict.
    fs::create_symlink("/etc/passwd", card_folder() / "100CANON/IMG_0003.JPG");
    const ProcessResult linked = ingest({"--plan"});
    const std::string refusal = "Link on card: \"" + (card_folder() / "100CANON/IMG_0003.JPG").string() + "\"";
    EXPECT_EQ(linked.exit_code, 1);
    EXPECT_EQ(last_lines(output_lines(linked.out), 5),
              (Lines{"ERROR:", refusal, "", "Plan:", "Verdict: the run would fail: " + refusal}))
        << linked.out;
}

// What a run would only meet half-way, the plan refuses, and so does the run, before it
// writes anything: a name too long for the file system, a tree on a read-only disk, a
// user-named folder that is more than one folder name.
TEST_F(PlanTest, PlanAndRunRefuseWhatWouldFailHalfWay)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    card_done();
    fs::create_directories(primary());
    auto expect_refused = [&](const std::string& reason) {
        const ProcessResult planned = ingest({"--plan"});
        EXPECT_EQ(planned.exit_code, 1) << planned.out;
        const std::string verdict = parse_plan(planned.out).verdict;
        EXPECT_TRUE(verdict.starts_with("the run would fail: ") && has(verdict, reason)) << verdict;
        const Lines backup_before = state_lines(snapshot(backup()));
        const Lines primary_before = state_lines(snapshot(primary()));
        const ProcessResult run = ingest({});
        EXPECT_EQ(run.exit_code, 1) << run.out;
        EXPECT_TRUE(has(run.out, "ERROR:\n") && has(run.out, reason)) << run.out;
        EXPECT_EQ(state_lines(snapshot(backup())), backup_before) << "the run wrote into the backup tree";
        EXPECT_EQ(state_lines(snapshot(primary())), primary_before) << "the run wrote into the primary tree";
    };
    {
        SCOPED_TRACE("a name too long");
        add_jpeg("DCIM/100CANON/" + std::string(242, 'L') + ".JPG", cardgen::kDayOne, 2);
        card_done();
        write_set({"NameFmt\tSDFE", "WantDateFolders\t0"});
        expect_refused(std::strerror(ENAMETOOLONG));
        fs::remove(card_folder() / "100CANON" / (std::string(242, 'L') + ".JPG"));
        card_done();
    }
    {
        SCOPED_TRACE("a read-only primary tree");
        write_set({"WantDateFolders\t0"});
        const test::Mount read_only({"-t", "tmpfs", "-o", "ro", "tmpfs"}, primary().string());
        if (!read_only.ok())
            ADD_FAILURE() << read_only.error();
        else
            expect_refused(std::strerror(EROFS));
    }
    for (const std::string user_folder : {"Trip/Day one", ".."}) {
        SCOPED_TRACE("user-named folder " + user_folder);
        write_set({"WantDateFolders\t0", "WantUserFolder\t1", "UserFolder\t" + user_folder});
        expect_refused("The user-named folder must be one folder name, without \"/\": \"" + user_folder + "\"");
    }
}

class ReportTest : public PlanTest {
protected:
    fs::path report() const { return tmp() / "reports/run.json"; }

    // The report, checked against the schema; "" (and a failure) when it does not fit it.
    std::string valid_report() const
    {
        const ProcessResult check = test::run_process(
            {"/usr/bin/python3", "-c",
             "import json, sys, jsonschema\n"
             "jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])),\n"
             "                    format_checker=jsonschema.FormatChecker())",
             report().string(), REPORT_SCHEMA});
        EXPECT_EQ(check.exit_code, 0) << check.err;
        return check.exit_code == 0 ? test::read_file(report()) : "";
    }
};

TEST_F(ReportTest, SuccessfulRunListsEveryFileWithItsCheck)
{
    cardgen::CardLayout layout;
    layout.pairs = 2;
    layout.raw_bytes = 3000;
    layout.hidden = true;
    make_card(layout);
    add_raw("DCIM/100CANON/IMG_0099.DNG", cardgen::kDayOne, 3000, 9);
    card_done();
    write_set({"ConverterApp\t" STANDIN_CONVERTER, "KeepRaw\t1", "NameFmt\tEEEE", "WantDateFolders\t0"});
    fs::create_directories(report().parent_path());

    const ProcessResult r = ingest({"--report", report().string()});

    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const std::string json = valid_report();
    EXPECT_TRUE(has(json, R"("result": "succeeded")")) << json;
    EXPECT_TRUE(has(json, R"("check": "raw decoded")")) << json;
    EXPECT_TRUE(has(json, R"("raws_decoded": 1)")) << json;
    EXPECT_TRUE(has(json, R"("raws_verified": 3)")) << json;
    EXPECT_TRUE(has(json, R"("jpegs_verified": 2)")) << json;
    EXPECT_TRUE(has(json, R"("primary_path": ")" + (primary() / "IMG_0001.dng").string() + R"(")")) << json;
    EXPECT_TRUE(has(json, R"("check": "converter verified")")) << json;
    EXPECT_TRUE(has(json, R"("check": "JPEG decoded")")) << json;
    EXPECT_TRUE(has(json, R"("check": "skipped")")) << json;
    EXPECT_TRUE(has(json, R"("converter": ")" STANDIN_CONVERTER)) << json;
    // Typed settings: a script compares numbers and flags without parsing them.
    EXPECT_TRUE(has(json, R"("format_version": 4)")) << json;
    EXPECT_TRUE(has(json, R"("starting_number": 1,)")) << json;
    EXPECT_TRUE(has(json, R"("date_folders": false,)")) << json;
    // Only the report is in its folder: its temporary file is gone.
    EXPECT_EQ(test::list_tree(report().parent_path()), Lines{"run.json"});

    // The same card again: every file is already ingested, and the counts still add up.
    const ProcessResult again = ingest({"--report", report().string()});
    ASSERT_EQ(again.exit_code, 0) << again.out << again.err;
    const std::string second = valid_report();
    EXPECT_TRUE(has(second, R"("already_ingested": 5)")) << second;
    EXPECT_TRUE(has(second, R"("check": "already ingested")")) << second;
    EXPECT_TRUE(has(second, R"("primary_path": ")" + (primary() / "IMG_0001.dng").string() + R"(")")) << second;
}

TEST_F(ReportTest, CorruptJpegFailsTheFileAndTheRun)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    add_bytes("DCIM/100CANON/IMG_0002.JPG", cardgen::kDayOne + 4, "This is not a picture.\n");
    card_done();
    write_set({"NameFmt\tEEEE", "WantDateFolders\t0"});
    fs::create_directories(report().parent_path());
    // --report names an output file: an earlier one there is replaced.
    test::write_file(report(), "an earlier report\n");

    const ProcessResult r = ingest({"--report", report().string()});

    ASSERT_EQ(r.exit_code, 1) << r.out << r.err;
    const std::string json = valid_report();
    const std::string message = "Possibly corrupt JPEG: " + (primary() / "IMG_0002.JPG").string();
    EXPECT_TRUE(has(json, R"("result": "failed")")) << json;
    EXPECT_TRUE(has(json, R"("line": ")" + message + R"(")")) << json;
    EXPECT_TRUE(has(json, R"("message": ")" + message + R"(")")) << json;
    EXPECT_TRUE(has(json, R"("counts": null)")) << json;
    // The report calls placed exactly the files that stand in the primary tree: the good
    // file of the failing folder, never published, is not one of them.
    const ProcessResult placed = test::run_process(
        {"/usr/bin/python3", "-c",
         "import json, sys\n"
         "for f in json.load(open(sys.argv[1]))['files']:\n"
         "    if f['primary_path']: print(f['primary_path'])\n",
         report().string()});
    ASSERT_EQ(placed.exit_code, 0) << placed.err;
    const Lines listed = output_lines(placed.out);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), files_below(primary())) << json;
}

// A name may hold any byte but "/": a newline with what looks like a count line after it
// must neither stop the report nor pass for a line of the run's own report, and a name that
// is not UTF-8 must be in the report so that its file can be found again.
TEST_F(ReportTest, AnyCardNameIsShownOnOneLineAndReportedSoItsFilesCanBeFound)
{
    add_jpeg("DCIM/100CANON/IMG\n    JPEGs verified: 9\n.JPG", cardgen::kDayOne, 1);
    add_jpeg("DCIM/100CANON/IMG_\xff\xfe.JPG", cardgen::kDayOne, 2);
    card_done();
    write_set({"NameFmt\tEEEE", "WantDateFolders\t0"});
    fs::create_directories(report().parent_path());

    // The trees' histories can't hold a name that is not UTF-8: the run says so for each
    // copy and succeeds, with the file placed and checked like any other.
    const ProcessResult planned = ingest({"--plan"});
    ProcessResult r = ingest({"--report", report().string()});

    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const Lines said = output_lines(r.out);
    EXPECT_EQ(std::count_if(said.begin(), said.end(), [](const std::string& line) {
                  return line.starts_with("Not listed in the tree's history (its name can't be written there): ");
              }),
              2)
        << r.out;
    for (const std::string& line : output_lines(planned.out + r.out))
        EXPECT_FALSE(line.ends_with("verified: 9")) << planned.out << r.out;
    ASSERT_FALSE(valid_report().empty());
    // Every path of the report leads to its file; the exact bytes where a path is not UTF-8.
    const ProcessResult found = test::run_process(
        {"/usr/bin/python3", "-c",
         "import json, os, sys, urllib.parse\n"
         "r = json.load(open(sys.argv[1]))\n"
         "def path(f, key):\n"
         "    if key + '_bytes' in f: return urllib.parse.unquote_to_bytes(f[key + '_bytes'])\n"
         "    return f[key] and f[key].encode()\n"
         "for f in r['files']:\n"
         "    for key in ('card_path', 'backup_path', 'primary_path'):\n"
         "        p = path(f, key)\n"
         "        if p: print(key, os.path.exists(p), ascii(p))\n",
         report().string()});
    ASSERT_EQ(found.exit_code, 0) << found.err;
    const Lines paths = output_lines(found.out);
    EXPECT_EQ(paths.size(), 6u) << found.out;
    for (const std::string& line : paths)
        EXPECT_TRUE(line.find(" True ") != std::string::npos) << line;
    EXPECT_TRUE(has(found.out, R"(primary/IMG_\xff\xfe.JPG)")) << found.out;

    // Where a name is shown in a line, its control characters are escaped.
    fs::remove_all(primary());
    fs::remove_all(backup());
    fs::create_directories(backup());
    add_bytes("DCIM/100CANON/A\n    Raws verified: 7\n.JPG", cardgen::kDayOne, "not a picture\n");
    card_done();
    r = ingest({"--report", report().string()});
    ASSERT_EQ(r.exit_code, 1) << r.out << r.err;
    const Lines lines = output_lines(r.out);
    for (const std::string& line : lines)
        EXPECT_FALSE(line.ends_with("verified: 7")) << r.out;
    const std::string shown = "Possibly corrupt JPEG: " + primary().string() + "/A\\n    Raws verified: 7\\n.JPG";
    EXPECT_NE(std::find(lines.begin(), lines.end(), shown), lines.end()) << r.out;
    EXPECT_TRUE(has(valid_report(), R"("result": "failed")"));
}

// Each copied file's lines of the report: "hash read_back backup_path primary_path".
Lines hashed_files(const fs::path& report)
{
    const ProcessResult listed = test::run_process(
        {"/usr/bin/python3", "-c",
         "import json, sys\n"
         "r = json.load(open(sys.argv[1]))\n"
         "assert r['format_version'] == 4\n"
         "for f in r['files']:\n"
         "    if f['backup_path']:\n"
         "        print(f['hash'], f['read_back'], f['backup_path'], f['primary_path'])",
         report.string()});
    EXPECT_EQ(listed.exit_code, 0) << listed.err;
    return output_lines(listed.out);
}

// xxh128sum's hash of the file at path: the tool a photographer would check a copy with.
std::string xxh128sum(const std::string& path)
{
    const ProcessResult summed = test::run_process({"/usr/bin/xxh128sum", path});
    EXPECT_EQ(summed.exit_code, 0) << summed.err;
    return summed.out.substr(0, summed.out.find(' '));
}

TEST_F(ReportTest, EachFileHasItsCardHashWhichCatchesALaterFlippedBit)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    add_raw("DCIM/100CANON/IMG_0002.CR2", cardgen::kDayOne + 4, 5000, 2);
    card_done();
    write_set({"NameFmt\tEEEE", "WantDateFolders\t0"});
    fs::create_directories(report().parent_path());

    ASSERT_EQ(ingest({"--report", report().string()}).exit_code, 0);
    ASSERT_FALSE(valid_report().empty());
    const Lines files = hashed_files(report());
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& line : files) {
        std::istringstream in(line);
        std::string hash, read_back, backup_path, primary_path;
        in >> hash >> read_back >> backup_path >> primary_path;
        EXPECT_EQ(read_back, "True") << line;
        EXPECT_EQ(xxh128sum(backup_path), hash) << line;
        EXPECT_EQ(xxh128sum(primary_path), hash) << line;
        // A bit flipped in the tree after the run: the recorded hash tells.
        std::string bytes = test::read_file(primary_path);
        bytes[bytes.size() / 2] ^= 1;
        test::write_file(primary_path, bytes);
        EXPECT_NE(xxh128sum(primary_path), hash) << line;
    }
}

TEST_F(ReportTest, ReadBackTurnedOffInThePreferencesIsReportedPerFile)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    card_done();
    write_set({"NameFmt\tEEEE", "WantDateFolders\t0", "ReadBack\t0"});
    fs::create_directories(report().parent_path());

    ASSERT_EQ(ingest({"--report", report().string()}).exit_code, 0);
    const std::string json = valid_report();
    EXPECT_TRUE(has(json, R"("read_back": false)")) << json;
    EXPECT_FALSE(has(json, R"("read_back": true)")) << json;
    // The card's hash is still taken as the card is read.
    const Lines files = hashed_files(report());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].substr(0, files[0].find(' ')),
              xxh128sum((backup() / "IMG_0001.JPG").string()));
}

// A run refused for its folders is a failure like any other: its report says why.
TEST_F(ReportTest, RefusedFoldersAreTheReportedOutcome)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    card_done();
    write_set({"NameFmt\tEEEE"});
    const fs::path set = config() / "Oakvane/Main/Main";
    std::string text = test::read_file(set);
    text.replace(text.find("PrimaryFolder\t" + primary().string()), ("PrimaryFolder\t" + primary().string()).size(),
                 "PrimaryFolder\t" + backup().string());
    test::write_file(set, text);
    fs::create_directories(report().parent_path());

    const ProcessResult r = ingest({"--report", report().string()});

    ASSERT_EQ(r.exit_code, 1) << r.out << r.err;
    const std::string json = valid_report();
    EXPECT_TRUE(has(json, R"("result": "failed")")) << json;
    EXPECT_TRUE(has(json, R"("line": "Backup and primary folders must be different.")")) << json;
}

// A Start that ends before the engine runs leaves a report that says why.
TEST_F(ReportTest, StartRefusedBeforeTheEngineSaysWhy)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    card_done();
    write_set({"NameFmt\tSAEE", "StartingNumber\t-5"});
    fs::create_directories(report().parent_path());
    ProcessResult r = ingest({"--report", report().string()});
    ASSERT_EQ(r.exit_code, 1) << r.out << r.err;
    std::string json = valid_report();
    EXPECT_TRUE(has(json, R"("line": "Starting number must be from 0 to 2147483647: \"-5\"")")) << json;

    write_set({"NameFmt\tEEEE"});
    fs::remove_all(backup());
    r = ingest({"--report", report().string()});
    ASSERT_EQ(r.exit_code, 1) << r.out << r.err;
    json = valid_report();
    EXPECT_TRUE(has(json, R"("line": "No backup folder")")) << json;
}

// A report that could not be written would turn a run that copied everything into a failure,
// and a script that retries would ingest the card again: nothing is copied.
TEST_F(ReportTest, UnwritableReportPlaceRefusesTheRunBeforeCopying)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    card_done();
    write_set({"NameFmt\tEEEE"});
    const ProcessResult r = ingest({"--report", (tmp() / "nonexistent/dir/r.json").string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(has(r.err, "Can't write the report to ")) << r.err;
    EXPECT_FALSE(fs::exists(primary()));
    EXPECT_TRUE(files_below(backup()).empty());
}

TEST_F(ReportTest, StoppedRunIsReported)
{
    cardgen::CardLayout layout;
    layout.pairs = 2;
    layout.raw_bytes = 3000;
    make_card(layout);
    write_set({"ConverterApp\t" STANDIN_CONVERTER, "KeepRaw\t1", "NameFmt\tEEEE"});
    fs::create_directories(report().parent_path());
    test::Process run({OAKVANE_INGEST, "--report", report().string()},
                      {"TZ=UTC", "XDG_CONFIG_HOME=" + config().string(), "STANDIN_CONVERTER_DELAY_MS=5000"});
    ASSERT_TRUE(wait_for(run, [&] { return has(run.poll_out(50), "Running Adobe DNG Converter"); }, 20s));

    run.send_signal(SIGINT);

    EXPECT_EQ(run.wait().exit_code, 130);
    const std::string json = valid_report();
    EXPECT_TRUE(has(json, R"("result": "stopped")")) << json;
    EXPECT_TRUE(has(json, R"("line": "Stopped by user")")) << json;
    EXPECT_TRUE(has(json, R"("check": "failed")")) << json;
}

TEST(IngestOptions, HelpAndVersionEndWithStatusZero)
{
    const ProcessResult help = test::run_process({OAKVANE_INGEST, "--help"});
    EXPECT_EQ(help.exit_code, 0);
    for (const char* part : {"--plan", "--report <FILE>", "--card <FOLDER>", "--set <NAME>", "--watch",
                             "--verbose", "130", "OAKVANE_VERBOSE", "OAKVANE_TRACE_LOG",
                             "OAKVANE_VERIFY_WORKERS", "OAKVANE_CARD_CLOCK", "XDG_CONFIG_HOME"})
        EXPECT_TRUE(has(help.out, part)) << part;
    const ProcessResult version = test::run_process({OAKVANE_INGEST, "--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_TRUE(version.out.starts_with("oakvane-ingest ")) << version.out;
    const ProcessResult joined = test::run_process({OAKVANE_INGEST, "--plan", "--report=x.json"});
    EXPECT_EQ(joined.exit_code, 1);
    EXPECT_TRUE(has(joined.err, "--plan writes nothing")) << joined.err;
    EXPECT_EQ(test::run_process({OAKVANE_INGEST, "--cards"}).exit_code, 1);
}

}  // namespace
}  // namespace oakvane::e2e

namespace oakvane::e2e {
namespace {

// A camera named by its port is planned, run and reported as a card is, under its camera name.
TEST_F(ReportTest, ACameraIsPlannedRunAndReportedByItsPort)
{
    cardgen::CardLayout layout;
    layout.pairs = 2;
    layout.raw_bytes = 3000;
    make_card(layout);
    write_set({"NameFmt\tEEEE", "WantDateFolders\t0"});
    fs::create_directories(report().parent_path());
    const std::string port = "disk:" + card_root().string();
    const std::string camera = "camera:" + port;

    const ProcessResult planned = ingest({"--camera", port, "--plan"});

    ASSERT_EQ(planned.exit_code, 0) << planned.out << planned.err;
    EXPECT_TRUE(has(planned.out, camera + "/DCIM/100CANON/IMG_0001.CR2")) << planned.out;
    EXPECT_EQ(test::list_tree(backup()), Lines{});

    const ProcessResult r = ingest({"--camera", port, "--report", report().string()});

    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "Card Folder: " + camera)) << r.out;
    const std::string json = valid_report();
    EXPECT_TRUE(has(json, R"("result": "succeeded")")) << json;
    EXPECT_TRUE(has(json, R"("card_folder": ")" + camera + R"(")")) << json;
    EXPECT_TRUE(has(json, R"("card_path": ")" + camera + R"(/DCIM/100CANON/IMG_0002.JPG")")) << json;
    expect_copy_of(primary() / "IMG_0002.JPG", "DCIM/100CANON/IMG_0002.JPG");
    expect_card_unchanged();
    // A camera and a card folder at once is a mistake, not a choice.
    EXPECT_EQ(ingest({"--camera", port, "--card", card_folder().string()}).exit_code, 1);
}

}  // namespace
}  // namespace oakvane::e2e
