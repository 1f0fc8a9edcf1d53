// oakvane-ingest: a run from the current preference set, as the desktop's Start makes it,
// with the preferences in a temporary configuration folder.

#include "e2e_support.h"
#include "exfat_card.h"
#include "mounts.h"

#include <csignal>
#include <fcntl.h>
#include <map>
#include <thread>
#include <unistd.h>
#include <regex>
#include <sstream>
#include <set>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;

class HeadlessTest : public E2eTest {
protected:
    fs::path config() const { return tmp() / "config"; }
    fs::path store() const { return config() / "Oakvane"; }
    fs::path set_file(const std::string& name) const { return store() / "Main" / name; }

    // The old application profile that the first start converts into the "Default" set.
    void write_profile(const Lines& entries)
    {
        std::string text = "[App]\n";
        for (const std::string& entry : entries)
            text += entry + "\n";
        fs::create_directories(store());
        test::write_file(store() / "Oakvane.ini", text);
    }

    // A profile for a converting run with automatic numbers from 5 and a user-named folder.
    void write_converting_profile()
    {
        write_profile({"BackupFolder=" + backup().string(), "PrimaryFolder=" + primary().string(),
                       "ConverterApp=" STANDIN_CONVERTER, "KeepRaw=1", "Preview=-p1",
                       "NameFmt=SAEE", "StartingNumber=5", "Arrangement=1", "DateFolders=1",
                       "UserFolder=1", "UserFolderName=Trip", "Template=Basic"});
        fs::create_directories(store() / "Metadata Templates");
        fs::copy_file(template_path(), store() / "Metadata Templates" / "Basic.xmp");
        fs::create_directories(backup());
    }

    void make_pairs(int pairs)
    {
        cardgen::CardLayout layout;
        layout.pairs = pairs;
        layout.raw_bytes = 3000;
        make_card(layout);
    }

    std::vector<std::string> env(const Lines& extra = {}) const
    {
        Lines all = {"TZ=UTC", "XDG_CONFIG_HOME=" + config().string(),
                     "HOME=" + (tmp() / "home").string()};
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    }

    ProcessResult ingest(const Lines& args, const Lines& extra_env = {}) const
    {
        Lines argv = {OAKVANE_INGEST};
        argv.insert(argv.end(), args.begin(), args.end());
        return test::run_process(argv, env(extra_env));
    }

    Lines card_args() const { return {"--card", card_folder().string()}; }

    std::string set_text(const std::string& name) const { return test::read_file(set_file(name)); }
    std::string profile_text() const { return test::read_file(store() / "Oakvane.ini"); }
};

// Output lines with the run's elapsed times made comparable.
Lines normalised(const std::string& out)
{
    static const std::regex elapsed(R"(^Ingestion time: \d+ min\. \d+ sec\.$)");
    Lines lines = output_lines(out);
    for (std::string& line : lines)
        line = std::regex_replace(line, elapsed, "Ingestion time: <time>");
    return lines;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A card this process can see already (a real one in the machine's reader, or another test's):
// oakvane-ingest would find it too. "" when there is none.
std::string card_already_mounted()
{
    std::istringstream table(test::read_file("/proc/self/mountinfo"));
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        fields >> id >> parent >> device >> root >> point;
        for (std::size_t at; (at = point.find("\\040")) != std::string::npos;)
            point.replace(at, 4, " ");
        std::error_code error;
        if (fs::is_directory(fs::path(point) / "DCIM", error))
            return point;
    }
    return "";
}

TEST_F(HeadlessTest, FirstStartConvertsTheProfileAndIngestsWithIt)
{
    write_converting_profile();
    make_pairs(2);
    const fs::path log = tmp() / "converter.log";

    const ProcessResult r = ingest(card_args(), {"STANDIN_CONVERTER_LOG=" + log.string()});

    ASSERT_EQ(r.exit_code, 0) << r.err;
    Lines expected = {"Starting",
                      "",
                      "Card Folder: " + card_folder().string(),
                      "Primary Image Folder: " + primary().string(),
                      "Backup Image Folder: " + backup().string(),
                      "Run Adobe DNG Converter: Yes (Medium-size JPEG preview)",
                      "Metadata Template: Basic",
                      "Primary Image Arrangement:",
                      "    Date Folder(s): Date Folders",
                      "    User-Named Folder: Trip",
                      "    Number-Range Folder: [not used]",
                      "Starting Number: 5"};
    Lines engine = success_output(4, "Running Adobe DNG Converter", {2, 2, 2, 2, 0}, "", 0);
    expected.insert(expected.end(), engine.begin(), engine.end() - 2);
    expected.insert(expected.end(), {"Ingestion time: <time>", "",
                                     "(No viewer chosen in Preferences)", "", "Finished"});
    EXPECT_EQ(normalised(r.out), expected);

    // The converter got the preview switch of the set.
    const auto runs = converter_runs(log);
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs[0][1], "-p1");
    // Images numbered from 5 (in the card's walk order) in date and user-named folders, with
    // sidecars from the template; a DNG stands without one.
    std::set<std::string> numbers;
    for (const std::string& rel : test::list_tree(primary())) {
        const fs::path path(rel);
        EXPECT_EQ(path.parent_path().filename(), "Trip") << rel;
        numbers.insert(path.stem().string());
    }
    EXPECT_EQ(numbers, (std::set<std::string>{"IMG_0005", "IMG_0006", "IMG_0007", "IMG_0008"}));
    EXPECT_EQ(files_with_extension(primary(), ".dng").size(), 2u);
    EXPECT_EQ(files_with_extension(primary(), ".JPG").size(), 2u);
    EXPECT_EQ(files_with_extension(primary(), ".xmp").size(), 2u);
    EXPECT_TRUE(fs::is_directory(primary() / "2006-06-12/Trip"));
    EXPECT_TRUE(fs::is_directory(primary() / "2006-06-13/Trip"));
    expect_only_complete_files(backup());
    expect_card_unchanged();

    // The next number is kept in the set, which the conversion made from the profile.
    const std::string set = set_text("Default");
    EXPECT_TRUE(set.starts_with("Version\t1\nDate\t")) << set;
    EXPECT_TRUE(contains(set, "\nStartingNumber\t9\n")) << set;
    EXPECT_TRUE(contains(set, "\nUserFolder\tTrip\n")) << set;
    EXPECT_TRUE(contains(set, "\nWantUserFolder\t1\n")) << set;
}

TEST_F(HeadlessTest, NamedSetIsUsedAndRemembered)
{
    if (const std::string card = card_already_mounted(); !card.empty())
        GTEST_SKIP() << "a card is mounted at " << card << "; the run would take it";
    make_pairs(1);
    // The first start makes "Default"; with no card to take it ends at once.
    ProcessResult r = ingest({});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out),
              (Lines{"Starting", "", "ERROR: No card chosen.",
                     "No image card is mounted (no mounted volume holds a DCIM folder).",
                     "Insert a card, or name a card folder with --card FOLDER."}));
    ASSERT_TRUE(fs::exists(set_file("Default")));

    // A set as the desktop application writes it, with a fixed card folder.
    fs::create_directories(backup());
    test::write_file(set_file("Studio"),
                     "Version\t1\nDate\tMon Dec  7 10:00:00 2026\n"
                     "CardFolder\t" + card_folder().string() + "\n"
                     "BackupFolder\t" + backup().string() + "\n"
                     "PrimaryFolder\t" + primary().string() + "\n"
                     "KeepRaw\t0\nNamePfx\tSTUDIO\nNameFmt\tSNEE\nWantDateFolders\t0\n");

    // --set is for this run only; --select-set remembers, as choosing the set in the window.
    r = ingest({"--set", "Studio"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Lines lines = output_lines(r.out);
    EXPECT_EQ(lines[2], "Card Folder: " + card_folder().string());
    EXPECT_EQ(lines[5], "Run Adobe DNG Converter: No");
    EXPECT_EQ(lines[8], "    Date Folder(s):  [not used]");
    EXPECT_EQ(test::list_tree(primary()), (Lines{"STUDIO_0001.CR2", "STUDIO_0001.JPG"}));
    EXPECT_FALSE(contains(profile_text(), "PrefSetCurrent=Studio")) << profile_text();
    r = ingest({"--select-set", "Studio"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(profile_text(), "PrefSetCurrent=Studio")) << profile_text();

    // Without --set the remembered set runs again; the backup tree still holds the first
    // run's copies, which it takes again for the primary tree, under their names.
    fs::remove_all(primary());
    r = ingest({});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(test::list_tree(primary()), (Lines{"STUDIO_0001.CR2", "STUDIO_0001.JPG"}));

    // A set that does not exist, or a path to some other file, ends the run before it starts
    // and changes nothing.
    const std::string profile_before = profile_text();
    for (const std::string name : {"Nope", "../Oakvane.ini"}) {
        r = ingest({"--set", name});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_TRUE(contains(r.err, "Can't read Preference Set:" + name + "\n")) << r.err;
        EXPECT_TRUE(contains(r.err, "The sets are: Default, Studio.\n")) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(profile_text(), profile_before);
    }
}

// Naming a set is the way out when the remembered one can no longer be read. Root reads any
// file, so the runs are made as an unprivileged user.
TEST_F(HeadlessTest, NamedSetIsTakenWhenTheRememberedOneCannotBeRead)
{
    make_pairs(1);
    fs::create_directories(backup());
    write_profile({"PrefSetCurrent=Broken"});
    for (const std::string name : {"Default", "Broken"})
        test::write_file(set_file(name), "Version\t1\nDate\tMon Dec  7 10:00:00 2026\n");
    test::write_file(set_file("Studio"),
                     "Version\t1\nDate\tMon Dec  7 10:00:00 2026\n"
                     "BackupFolder\t" + backup().string() + "\n"
                     "PrimaryFolder\t" + primary().string() + "\n"
                     "KeepRaw\t0\nNamePfx\tSTUDIO\nNameFmt\tSNEE\nWantDateFolders\t0\n");
    for (fs::path p = tmp(); p != p.root_path(); p = p.parent_path())
        fs::permissions(p, fs::perms::others_exec, fs::perm_options::add);
    for (const auto& entry : fs::recursive_directory_iterator(tmp()))
        fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(tmp(), fs::perms::all, fs::perm_options::add);
    fs::permissions(set_file("Broken"), fs::perms::none);
    const Lines as_nobody = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                             "--clear-groups", OAKVANE_INGEST};
    const auto run = [&](const Lines& args) {
        Lines argv = as_nobody;
        argv.insert(argv.end(), args.begin(), args.end());
        return test::run_process(argv, env());
    };

    ProcessResult r = run(card_args());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(contains(r.err, "Can't read Preference Set:Broken\nThe sets there are: Broken, Default, "
                                "Studio. Choose one of them, or make a new one.\nIts file " +
                                    set_file("Broken").string() + " can't be read (Permission denied)"))
        << r.err;

    r = run({"--set", "Studio", "--card", card_folder().string()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(test::list_tree(primary()), (Lines{"STUDIO_0001.CR2", "STUDIO_0001.JPG"}));
    EXPECT_TRUE(contains(profile_text(), "PrefSetCurrent=Broken")) << profile_text();
    r = run({"--select-set", "Studio"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(contains(profile_text(), "PrefSetCurrent=Studio")) << profile_text();
}

// Sets are made, shown and changed without the window; a value the dialog would not offer
// is refused and leaves the set as it was.
// New contents of a set that can't be flushed never replace it: the change fails and the
// set stays as it was.
TEST_F(HeadlessTest, ASetWhoseNewContentsCannotBeFlushedStaysAsItWas)
{
    write_profile({"NamePfx=TRIP"});
    ASSERT_EQ(ingest({"--new-set", "Wedding"}).exit_code, 0);
    const std::string before = set_text("Wedding");
    const std::string log = (tmp() / "sync-fault.log").string();

    const ProcessResult r =
        ingest({"--set", "Wedding", "--set-value", "Arrangement=3"},
               {std::string("LD_PRELOAD=") + SYNC_FAULT_SHIM, "SYNC_FAULT=fsync", "SYNC_FAULT_MATCH=Wedding",
                "SYNC_FAULT_LOG=" + log});

    EXPECT_NE(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(fs::exists(log)) << "the flush was never asked for";
    EXPECT_EQ(set_text("Wedding"), before);
}

TEST_F(HeadlessTest, SetsAreMadeShownAndChangedFromTheCommandLine)
{
    write_profile({"NamePfx=TRIP"});
    ProcessResult r = ingest({"--new-set", "Wedding"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ingest({"--new-set", "Wedding"}).exit_code, 1);
    EXPECT_EQ(ingest({"--list-sets"}).out, "* Default\n  Wedding\n");

    r = ingest({"--set", "Wedding", "--set-value", "Arrangement=3", "--set-value", "NameFmt=SAEE"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string stored = set_text("Wedding");
    EXPECT_TRUE(contains(stored, "\nArrangement\t3\n")) << stored;
    EXPECT_TRUE(contains(stored, "\nNamePfx\tTRIP\n")) << stored;  // copied from Default
    for (const std::string bad : {"Arrangement=7", "NameFmt=XYZW", "KeepRaw=yes", "Nope=1", "Arrangement",
                                   "StartingNumber=-5", "Preview=-p3"}) {
        r = ingest({"--set", "Wedding", "--set-value", "NamePfx=X", "--set-value", bad});
        EXPECT_EQ(r.exit_code, 1) << bad;
        EXPECT_TRUE(contains(r.err, "Can't set ")) << r.err;
        EXPECT_EQ(set_text("Wedding"), stored) << bad;
    }
    // The remembered set is changed when no set is named.
    ASSERT_EQ(ingest({"--set-value", "KeepRaw=1"}).exit_code, 0);
    EXPECT_TRUE(contains(set_text("Default"), "\nKeepRaw\t1\n"));

    r = ingest({"--show-set", "Wedding"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Lines shown = output_lines(r.out);
    EXPECT_EQ(shown.size(), 28u) << r.out;
    const auto has_line = [&](const std::string& line) {
        return std::find(shown.begin(), shown.end(), line) != shown.end();
    };
    EXPECT_TRUE(has_line("Arrangement\t3")) << r.out;
    EXPECT_TRUE(has_line("ReportFolder\t\t(default)")) << r.out;
    EXPECT_TRUE(has_line("ReadBack\t1\t(default)")) << r.out;
    EXPECT_TRUE(has_line("KeepRaw\t0")) << r.out;
}

// A set edited by hand: each mistake is told once, with what is used instead, and the run
// uses that.
TEST_F(HeadlessTest, HandEditedSetWarnsOfEachMistakeAndUsesTheDefault)
{
    make_pairs(1);
    fs::create_directories(backup());
    fs::create_directories(store() / "Main");
    test::write_file(set_file("Default"),
                     "Version\t1\nDate\tMon Dec  7 10:00:00 2026\n"
                     "BackupFolder\t" + backup().string() + "\n"
                     "PrimaryFolder\t" + primary().string() + "\n"
                     "KeepRaw 1\nArrangement\t7\nNameFmt\tXYZW\nWantDateFolders\t0\nColour\tred\n"
                     "Preview\t-p9\n");
    const ProcessResult r = ingest(card_args());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto told = [&](const std::string& part) {
        std::size_t seen = 0;
        for (std::size_t at = r.err.find(part); at != std::string::npos; at = r.err.find(part, at + 1))
            ++seen;
        return seen;
    };
    EXPECT_EQ(told("\"KeepRaw 1\" has no TAB between key and value"), 1u) << r.err;
    EXPECT_EQ(told("Arrangement must be 1, 2 or 3; the default 2 is used instead"), 1u) << r.err;
    EXPECT_EQ(told("the letters XYZW add nothing to the names"), 1u) << r.err;
    EXPECT_EQ(told("Preview must be -p0 (no preview), -p1 (medium) or -p2 (full size); the "
                   "default -p0 is used instead"), 1u) << r.err;
    EXPECT_EQ(told("unknown key Colour"), 1u) << r.err;
    // No letter of the name format stands for a part: the names are the card's.
    EXPECT_EQ(test::list_tree(primary()), (Lines{"IMG_0001.CR2", "IMG_0001.JPG"}));
}

TEST_F(HeadlessTest, MissingBackupFolderEndsTheRunWithoutCopying)
{
    make_pairs(1);
    write_profile({"BackupFolder=" + backup().string(), "PrimaryFolder=" + primary().string()});
    const ProcessResult r = ingest(card_args());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out),
              (Lines{"Starting", "", "ERROR: No backup folder",
                     "The backup folder " + backup().string() + " does not exist.",
                     "Create it (mkdir -p '" + backup().string() +
                         "'), or name another with: oakvane-ingest --set-value BackupFolder=FOLDER"}));
    EXPECT_FALSE(fs::exists(backup()));
    EXPECT_FALSE(fs::exists(primary()));
}

TEST_F(HeadlessTest, FailedRunWarnsAndKeepsTheStartingNumber)
{
    write_converting_profile();
    make_pairs(2);
    const ProcessResult r = ingest(card_args(), {"STANDIN_CONVERTER_FAIL=IMG_0006.CR2,IMG_0005.CR2"});
    EXPECT_EQ(r.exit_code, 1);
    const Lines lines = output_lines(r.out);
    EXPECT_EQ(last_lines(lines, 2), (Lines{"", "Finished"}));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ERROR:"), lines.end());
    EXPECT_TRUE(contains(r.err, "Ingestion Error!\n\nDo not delete images from card until they "
                                "have been successfully ingested."))
        << r.err;
    EXPECT_TRUE(contains(set_text("Default"), "\nStartingNumber\t5\n"));
    expect_card_unchanged();
}

TEST_F(HeadlessTest, InterruptStopsTheRun)
{
    write_converting_profile();
    make_pairs(2);
    Lines argv = {OAKVANE_INGEST};
    for (const std::string& arg : card_args())
        argv.push_back(arg);
    test::Process run(argv, env({"STANDIN_CONVERTER_DELAY_MS=5000"}));
    ASSERT_TRUE(wait_for(
        run, [&] { return contains(run.poll_out(50), "Running Adobe DNG Converter"); },
        std::chrono::seconds(20)));
    run.send_signal(SIGINT);
    const ProcessResult r = run.wait();
    EXPECT_EQ(r.exit_code, 130);
    EXPECT_EQ(last_lines(output_lines(r.out), 4), (Lines{"", "Stopped by user", "", "Finished"}));
    EXPECT_TRUE(contains(r.err, "Ingested images may be invalid!")) << r.err;
    EXPECT_TRUE(contains(set_text("Default"), "\nStartingNumber\t5\n"));
    expect_only_complete_files(primary());
    expect_card_unchanged();
}

// Cards come and go as real mounts of ext2 card images, as a card reader's would.
// A card read through exfat-fuse whose entries carry the camera's zone, four hours west: the
// run takes the card's clock from the photos, and files the late shots on the camera's day
// rather than on UTC's next one.
TEST_F(HeadlessTest, ExfatFuseCardIsFiledByItsCamerasClock)
{
    std::string skipped;
    const std::unique_ptr<test::Mount> card = exfat_fuse_card(
        (tmp() / "fuse").string(),
        {{"IMG_0001.JPG", "2024:07:14 22:30:00", "-04:00", -240},
         {"IMG_0002.JPG", "2024:07:14 23:45:00", "-04:00", -240}},
        "TZ=UTC", skipped);
    if (!card)
        GTEST_SKIP() << skipped;
    write_profile({"BackupFolder=" + backup().string(), "PrimaryFolder=" + primary().string(),
                   "KeepRaw=0", "NameFmt=SAEE", "AutoEject=0", "DateFolders=1", "Arrangement=1"});
    fs::create_directories(backup());
    const ProcessResult r = ingest({"--card", card->mount_point() + "/DCIM"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const Lines placed = test::list_tree(primary());
    EXPECT_EQ(placed.size(), 2u);
    for (const std::string& file : placed)
        EXPECT_EQ(file.substr(0, 11), "2024-07-14/") << file;
}

class StationTest : public HeadlessTest {
protected:
    void SetUp() override
    {
        const std::string refusal = test::mount_refusal(tmp().string());
        if (!refusal.empty())
            GTEST_SKIP() << "cannot mount here: " << refusal;
        if (const std::string card = card_already_mounted(); !card.empty())
            GTEST_SKIP() << "a card is mounted at " << card << "; the station would take it";
        fs::create_directories(backup());
        write_profile({"BackupFolder=" + backup().string(), "PrimaryFolder=" + primary().string(),
                       "KeepRaw=0", "NameFmt=SAEE", "AutoEject=1", "DateFolders=0"});
    }

    // An image of a card with two RAW+JPEG pairs, labelled label, kept as name.img.
    // A card image of its own pictures: one already ingested would add nothing.
    std::string card_image(const std::string& label, const std::string& name = "")
    {
        const std::string file = name.empty() ? label : name;
        const fs::path content = tmp() / ("content-" + file);
        cardgen::CardLayout layout;
        layout.pairs = 2;
        layout.raw_bytes = 3000;
        layout.seed = std::hash<std::string>{}(file) % 1000 + 1;
        cardgen::make_card(content, layout);
        const std::string image = (tmp() / (file + ".img")).string();
        const std::string why = test::make_ext2_image_of(image, label, content.string(), "8M");
        EXPECT_EQ(why, "");
        return image;
    }

    std::string mount_point(const std::string& label) const { return (tmp() / label).string(); }

    static bool mounted(const std::string& point)
    {
        return contains(test::read_file("/proc/self/mountinfo"), " " + point + " ");
    }
};

TEST_F(StationTest, IngestsAndEjectsEveryCardInsertedUntilInterrupted)
{
    const std::string first = card_image("CARD_ONE");
    const std::string second = card_image("CARD_TWO");
    test::Process station({OAKVANE_INGEST, "--watch"}, env());
    const auto shows = [&](const std::string& text) {
        return wait_for(station, [&] { return contains(station.poll_out(50), text); },
                        std::chrono::seconds(30));
    };
    ASSERT_TRUE(shows("No image card mounted\n")) << station.poll_out(0);

    fs::create_directories(mount_point("one"));
    test::Mount card_one({"-o", "loop", first}, mount_point("one"));
    ASSERT_TRUE(card_one.ok()) << card_one.error();
    ASSERT_TRUE(shows("Image card mounted: " + mount_point("one") + "/ (CARD_ONE)\n"));
    ASSERT_TRUE(shows("Finished\n")) << station.poll_out(0);
    // Ejected after its run: unmounted, and the card image let go.
    ASSERT_TRUE(wait_for(station, [&] { return !mounted(mount_point("one")); },
                         std::chrono::seconds(30)));

    fs::create_directories(mount_point("two"));
    test::Mount card_two({"-o", "loop", second}, mount_point("two"));
    ASSERT_TRUE(card_two.ok()) << card_two.error();
    ASSERT_TRUE(wait_for(station,
                         [&] {
                             const std::string& out = station.poll_out(50);
                             const std::size_t two = out.find("CARD_TWO");
                             return two != std::string::npos &&
                                    out.find("Finished", two) != std::string::npos;
                         },
                         std::chrono::seconds(30)))
        << station.poll_out(0);
    ASSERT_TRUE(wait_for(station, [&] { return !mounted(mount_point("two")); },
                         std::chrono::seconds(30)));

    station.send_signal(SIGINT);
    const ProcessResult r = station.wait();
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const Lines lines = output_lines(r.out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SUCCESSFUL INGESTION - no errors detected"), 2)
        << r.out;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Card Folder: " + mount_point("one") + "/DCIM"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Card Folder: " + mount_point("two") + "/DCIM"),
              lines.end());
    // Automatic numbers run on from one card to the next.
    std::set<std::string> names;
    for (const std::string& rel : test::list_tree(primary()))
        names.insert(fs::path(rel).stem().string());
    EXPECT_EQ(names, (std::set<std::string>{"IMG_0001", "IMG_0002", "IMG_0003", "IMG_0004",
                                             "IMG_0005", "IMG_0006", "IMG_0007", "IMG_0008"}));
    EXPECT_TRUE(contains(set_text("Default"), "\nStartingNumber\t9\n"));
}

// Cards of one camera share their label and mount at the same place, where the kernel hands
// the next card the mount id the last one had: each insertion is a card to ingest (the first
// card, inserted again, then adds nothing).
TEST_F(StationTest, EveryInsertionAtTheSamePlaceIsIngested)
{
    const std::string card_a = card_image("NIKON_D70", "a");
    const std::string card_b = card_image("NIKON_D70", "b");
    test::Process station({OAKVANE_INGEST, "--watch"}, env());
    const auto finished = [&](std::size_t times) {
        return wait_for(
            station,
            [&] {
                const std::string& out = station.poll_out(50);
                std::size_t seen = 0;
                for (std::size_t at = out.find("Finished\n"); at != std::string::npos;
                     at = out.find("Finished\n", at + 1))
                    ++seen;
                return seen >= times;
            },
            std::chrono::seconds(30));
    };
    ASSERT_TRUE(wait_for(station, [&] { return contains(station.poll_out(50), "card"); },
                         std::chrono::seconds(30)));
    const std::string point = mount_point("NIKON_D70");
    fs::create_directories(point);
    std::size_t runs = 0;
    for (const std::string& image : {card_a, card_b, card_a}) {
        test::Mount card({"-o", "loop", image}, point);
        ASSERT_TRUE(card.ok()) << card.error();
        ASSERT_TRUE(finished(++runs)) << "insertion " << runs << ":\n" << station.poll_out(0);
        ASSERT_TRUE(wait_for(station, [&] { return !mounted(point); }, std::chrono::seconds(30)));
    }

    station.send_signal(SIGINT);
    const ProcessResult r = station.wait();
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const Lines lines = output_lines(r.out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SUCCESSFUL INGESTION - no errors detected"), 3)
        << r.out;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "    Files already ingested: 4"), 1) << r.out;
    EXPECT_EQ(test::list_tree(primary()).size(), 8u);
}

TEST_F(StationTest, CardInsertedDuringARunIsTakenAfterItAndNumbersAreKeptAtOnce)
{
    write_profile({"BackupFolder=" + backup().string(), "PrimaryFolder=" + primary().string(),
                   "ConverterApp=" STANDIN_CONVERTER, "KeepRaw=1", "NameFmt=SAEE",
                   "AutoEject=1", "DateFolders=0"});
    const std::string first = card_image("CARD_ONE");
    const std::string second = card_image("CARD_TWO");
    test::Process station({OAKVANE_INGEST, "--watch"}, env({"STANDIN_CONVERTER_DELAY_MS=700"}));
    const auto shows = [&](const std::string& text, std::size_t times = 1) {
        return wait_for(
            station,
            [&] {
                const std::string& out = station.poll_out(50);
                std::size_t seen = 0;
                for (std::size_t at = out.find(text); at != std::string::npos;
                     at = out.find(text, at + 1))
                    ++seen;
                return seen >= times;
            },
            std::chrono::seconds(60));
    };
    ASSERT_TRUE(shows("card")) << station.poll_out(0);
    fs::create_directories(mount_point("one"));
    fs::create_directories(mount_point("two"));
    test::Mount card_one({"-o", "loop", first}, mount_point("one"));
    ASSERT_TRUE(card_one.ok()) << card_one.error();
    ASSERT_TRUE(shows("Running Adobe DNG Converter")) << station.poll_out(0);
    test::Mount card_two({"-o", "loop", second}, mount_point("two"));
    ASSERT_TRUE(card_two.ok()) << card_two.error();
    ASSERT_TRUE(shows("Finished\n", 2)) << station.poll_out(0);
    ASSERT_TRUE(wait_for(station, [&] { return !mounted(mount_point("two")); },
                         std::chrono::seconds(30)));

    // The set is saved after each run, while the station goes on: a killed station keeps its
    // next number.
    EXPECT_TRUE(wait_for(
        station, [&] { return contains(set_text("Default"), "\nStartingNumber\t9\n"); },
        std::chrono::seconds(30)))
        << set_text("Default");
    station.send_signal(SIGKILL);
    const ProcessResult r = station.wait();
    const Lines lines = output_lines(r.out);
    const auto card_line = [&](const std::string& point) {
        return std::find(lines.begin(), lines.end(), "Card Folder: " + point + "/DCIM") -
               lines.begin();
    };
    EXPECT_LT(card_line(mount_point("one")), card_line(mount_point("two")));
    EXPECT_LT(card_line(mount_point("two")), static_cast<long>(lines.size()));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SUCCESSFUL INGESTION - no errors detected"), 2)
        << r.out;
}

TEST_F(StationTest, InterruptDuringARunStopsItAndTheStation)
{
    write_profile({"BackupFolder=" + backup().string(), "PrimaryFolder=" + primary().string(),
                   "ConverterApp=" STANDIN_CONVERTER, "KeepRaw=1", "AutoEject=1"});
    const std::string image = card_image("CARD_ONE");
    test::Process station({OAKVANE_INGEST, "--watch"},
                          env({"STANDIN_CONVERTER_DELAY_MS=5000"}));
    ASSERT_TRUE(wait_for(station, [&] { return contains(station.poll_out(50), "card"); },
                         std::chrono::seconds(30)));
    fs::create_directories(mount_point("one"));
    test::Mount card({"-o", "loop", image}, mount_point("one"));
    ASSERT_TRUE(card.ok()) << card.error();
    ASSERT_TRUE(wait_for(
        station, [&] { return contains(station.poll_out(50), "Running Adobe DNG Converter"); },
        std::chrono::seconds(30)))
        << station.poll_out(0);

    station.send_signal(SIGINT);
    const ProcessResult r = station.wait();
    EXPECT_EQ(r.exit_code, 130) << r.err;
    EXPECT_EQ(last_lines(output_lines(r.out), 4), (Lines{"", "Stopped by user", "", "Finished"}));
    // A stopped run ejects nothing.
    EXPECT_TRUE(mounted(mount_point("one")));
}

// With a report folder set, every run of the station leaves its report there, named after
// the card and the time.
TEST_F(StationTest, EveryRunLeavesAReportInTheReportFolder)
{
    ingest({"--card", (tmp() / "none").string()});  // makes the "Default" set from the profile
    const fs::path reports = tmp() / "reports";
    fs::create_directories(reports);
    test::write_file(set_file("Default"), set_text("Default") + "ReportFolder\t" + reports.string() + "\n");
    const std::string image = card_image("CARD_ONE");
    test::Process station({OAKVANE_INGEST, "--watch"}, env());
    ASSERT_TRUE(wait_for(station, [&] { return contains(station.poll_out(50), "card"); },
                         std::chrono::seconds(30)));
    fs::create_directories(mount_point("one"));
    test::Mount card({"-o", "loop", image}, mount_point("one"));
    ASSERT_TRUE(card.ok()) << card.error();
    ASSERT_TRUE(wait_for(station, [&] { return contains(station.poll_out(50), "Finished\n"); },
                         std::chrono::seconds(30)));

    station.send_signal(SIGINT);
    EXPECT_EQ(station.wait().exit_code, 0);
    const Lines names = test::list_tree(reports);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(CARD_ONE_\d{8}-\d{6}\.json)"))) << names[0];
    const std::string json = test::read_file(reports / names[0]);
    EXPECT_TRUE(contains(json, R"("result": "succeeded")")) << json;
    EXPECT_TRUE(contains(json, R"("name": ")" + mount_point("one") + "/ (CARD_ONE)\"")) << json;
}

// Cards that came during a run wait for it. One swapped for another meanwhile is not
// ingested in its place and then once more for its own insertion.
TEST_F(StationTest, CardSwappedWhileWaitingIsIngestedOnce)
{
    write_profile({"BackupFolder=" + backup().string(), "PrimaryFolder=" + primary().string(),
                   "ConverterApp=" STANDIN_CONVERTER, "KeepRaw=1", "NameFmt=SAEE",
                   "AutoEject=0", "DateFolders=0"});
    const Lines labels = {"CARD_A", "CARD_B", "CARD_C", "CARD_D"};
    std::map<std::string, std::string> image;
    for (const std::string& label : labels)
        image[label] = card_image(label);
    for (const std::string point : {"one", "two", "three"})
        fs::create_directories(mount_point(point));
    test::Process station({OAKVANE_INGEST, "--watch"}, env({"STANDIN_CONVERTER_DELAY_MS=2000"}));
    const auto count = [&](const std::string& text) {
        const std::string& out = station.poll_out(50);
        std::size_t seen = 0;
        for (std::size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
            ++seen;
        return seen;
    };
    const auto shows = [&](const std::string& text, std::size_t times) {
        return wait_for(station, [&] { return count(text) >= times; }, std::chrono::seconds(60));
    };
    ASSERT_TRUE(shows("card", 1)) << station.poll_out(0);
    test::Mount a({"-o", "loop", image["CARD_A"]}, mount_point("one"));
    ASSERT_TRUE(a.ok()) << a.error();
    ASSERT_TRUE(shows("Running Adobe DNG Converter", 1)) << station.poll_out(0);
    test::Mount b({"-o", "loop", image["CARD_B"]}, mount_point("two"));
    test::Mount c({"-o", "loop", image["CARD_C"]}, mount_point("three"));
    ASSERT_TRUE(b.ok() && c.ok()) << b.error() << c.error();
    // B's run: C waits, and is swapped for D meanwhile.
    ASSERT_TRUE(shows("Running Adobe DNG Converter", 2)) << station.poll_out(0);
    ASSERT_TRUE(c.unmount()) << c.error();
    // The kernel hands out the lowest free mount id: a mount in between takes C's, so that D
    // gets one of its own, as it would on a machine where other mounts come and go.
    test::Mount filler({"-t", "tmpfs", "tmpfs"}, mount_point("filler"));
    ASSERT_TRUE(filler.ok()) << filler.error();
    test::Mount d({"-o", "loop", image["CARD_D"]}, mount_point("three"));
    ASSERT_TRUE(d.ok()) << d.error();
    ASSERT_TRUE(shows("Finished\n", 3)) << station.poll_out(0);
    // A second run on the same card would start at once.
    wait_for(station, [&] { return count("Card Folder:") > 3; }, std::chrono::seconds(3));

    station.send_signal(SIGINT);
    const ProcessResult r = station.wait();
    const Lines lines = output_lines(r.out);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Card Folder: " + mount_point("three") + "/DCIM"),
              1)
        << r.out;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SUCCESSFUL INGESTION - no errors detected"), 3)
        << r.out;
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

// An eject waits about ten seconds for a busy card: a second stop meanwhile ends the station
// at once, and the next starting number is kept.
TEST_F(StationTest, SecondStopDuringAnEjectEndsTheStation)
{
    const std::string image = card_image("CARD_ONE");
    test::Process station({OAKVANE_INGEST, "--watch"}, env());
    ASSERT_TRUE(wait_for(station, [&] { return contains(station.poll_out(50), "card"); },
                         std::chrono::seconds(30)));
    fs::create_directories(mount_point("one"));
    test::Mount card({"-o", "loop", image}, mount_point("one"));
    ASSERT_TRUE(card.ok()) << card.error();
    // Held open here, the card stays busy through every retry of the eject.
    const int held = open(mount_point("one").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_TRUE(wait_for(
        station,
        [&] { return contains(station.poll_out(50), "SUCCESSFUL INGESTION - no errors detected"); },
        std::chrono::seconds(30)))
        << station.poll_out(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    station.send_signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto second_stop = std::chrono::steady_clock::now();
    station.send_signal(SIGINT);
    const ProcessResult r = station.wait();
    close(held);
    EXPECT_LT(std::chrono::steady_clock::now() - second_stop, std::chrono::seconds(4));
    EXPECT_EQ(r.exit_code, 130) << r.err;
    EXPECT_TRUE(contains(r.err, "Stopped by user while ejecting")) << r.err;
    EXPECT_TRUE(mounted(mount_point("one")));
    EXPECT_TRUE(contains(set_text("Default"), "\nStartingNumber\t5\n")) << set_text("Default");
}

// Runs named with --card: other cards mounted meanwhile play no part.
class NamedCardTest : public StationTest {
protected:
    void SetUp() override
    {
        const std::string refusal = test::mount_refusal(tmp().string());
        if (!refusal.empty())
            GTEST_SKIP() << "cannot mount here: " << refusal;
    }
};

// A card is formatted once it is ingested: a backup folder on the card's own volume is refused
// before anything is written. A card folder that is no card (a copy on a disk) is not bound so.
TEST_F(NamedCardTest, BackupFolderOnTheCardItselfIsRefused)
{
    const std::string image = card_image("CARD_ONE");
    fs::create_directories(mount_point("one"));
    test::Mount card({"-o", "loop", image}, mount_point("one"));
    ASSERT_TRUE(card.ok()) << card.error();
    const std::string on_card = mount_point("one") + "/OakvaneBackup";
    fs::create_directories(on_card);
    write_profile({"BackupFolder=" + on_card, "PrimaryFolder=" + primary().string(), "KeepRaw=0",
                   "NameFmt=SAEE", "AutoEject=0", "DateFolders=0"});

    ProcessResult r = ingest({"--card", mount_point("one") + "/DCIM"});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    const Lines lines = output_lines(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "The backup folder is on the card itself: \"" + on_card +
                            "\". The card is formatted after ingestion; choose a folder on another disk."),
              lines.end())
        << r.out;
    EXPECT_TRUE(test::list_tree(on_card).empty());
    EXPECT_FALSE(fs::exists(primary()));

    const fs::path copied = tmp() / "copied/DCIM";
    fs::create_directories(copied.parent_path());
    fs::copy(mount_point("one") + "/DCIM", copied, fs::copy_options::recursive);
    r = ingest({"--card", copied.string()});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(test::list_tree(on_card).size(), 4u);
}

TEST_F(StationTest, SingleRunTakesTheOneMountedCard)
{
    const std::string first = card_image("CARD_ONE");
    const std::string second = card_image("CARD_TWO");
    fs::create_directories(mount_point("one"));
    fs::create_directories(mount_point("two"));
    test::Mount card_one({"-o", "loop", first}, mount_point("one"));
    test::Mount card_two({"-o", "loop", second}, mount_point("two"));
    ASSERT_TRUE(card_one.ok() && card_two.ok()) << card_one.error() << card_two.error();

    // Two cards: no question can be asked, so none is chosen; both are named.
    ProcessResult r = ingest({});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(output_lines(r.out),
              (Lines{"Starting", "", "ERROR: No card chosen.",
                     "Several image cards are mounted, and none can be asked for here:",
                     "  " + mount_point("one") + "/DCIM (CARD_ONE)",
                     "  " + mount_point("two") + "/DCIM (CARD_TWO)",
                     "Name the one to ingest with --card FOLDER."}));

    // One card: it is taken, and ejected afterwards.
    ASSERT_TRUE(card_two.unmount()) << card_two.error();
    r = ingest({});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(output_lines(r.out).at(2), "Card Folder: " + mount_point("one") + "/DCIM");
    EXPECT_FALSE(mounted(mount_point("one")));
    EXPECT_EQ(test::list_tree(primary()).size(), 4u);
}

}  // namespace
}  // namespace oakvane::e2e
