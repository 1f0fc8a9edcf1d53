// oakvane-ingest --check: a library re-read against its ASC MHL histories tells a flipped
// bit, a missing and a new file apart from the intact ones, reads other tools' histories
// (the standard's own example, md5 and sha1 hashes), and writes nothing into the library.

#include "e2e_support.h"

#include <algorithm>
#include <fstream>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;

bool has_line(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class CheckTest : public E2eTest {
protected:
    ProcessResult check(const fs::path& folder, const Lines& extra = {}) const
    {
        Lines argv = {OAKVANE_INGEST, "--check", folder.string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return test::run_process(argv, {"HOME=" + (tmp() / "home").string(),
                                        "XDG_CONFIG_HOME=" + (tmp() / "config").string()});
    }
    // Every entry below root with size, content and time: what a check must leave as it is.
    static Lines state(const fs::path& root)
    {
        Lines lines;
        for (const auto& [path, entry] : snapshot(root))
            lines.push_back(path + " " + std::to_string(entry.size) + " " + std::to_string(entry.hash) +
                            " " + std::to_string(entry.mtime_ns));
        return lines;
    }
    static std::string hex_digest(const std::string& tool, const fs::path& file)
    {
        const std::string out = test::run_process({tool, file.string()}).out;
        return out.substr(0, out.find(' '));
    }
};

TEST_F(CheckTest, FindsAFlippedBitAMissingAndANewFileAndWritesNothing)
{
    add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
    add_raw("DCIM/100CANON/IMG_0002.CR2", cardgen::kDayOne + 1, 5000, 2);
    card_done();
    IngestArgs a = args();
    a.fmt = "EEEE";
    a.switches = "---";
    ASSERT_EQ(run_copycard(a).exit_code, 0);
    fs::remove_all(card_root());  // only the library is checked

    ProcessResult r = check(tmp());
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(has_line(output_lines(r.out), "Intact: primary/IMG_0002.CR2")) << r.out;
    EXPECT_EQ(last_lines(output_lines(r.out), 1),
              Lines{"Checked 4 files listed in 2 histories: 4 intact, 0 changed, 0 missing, 0 new"});

    {
        std::fstream file(primary() / "IMG_0001.JPG", std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(200);
        const char c = static_cast<char>(file.get());
        file.seekp(200);
        file.put(static_cast<char>(c ^ 0x04));
    }
    fs::remove(backup() / "IMG_0002.CR2");
    test::write_file(backup() / "notes.txt", "added later\n");
    const Lines before = state(backup()), primary_before = state(primary());

    r = check(tmp(), {"--report", (tmp() / "check.json").string()});

    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    const Lines lines = output_lines(r.out);
    EXPECT_TRUE(has_line(lines, "Missing: backup/IMG_0002.CR2")) << r.out;
    EXPECT_TRUE(has_line(lines, "New: backup/notes.txt")) << r.out;
    EXPECT_TRUE(has_line(lines, "Intact: backup/IMG_0001.JPG")) << r.out;
    const auto changed = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("Changed: primary/IMG_0001.JPG (xxh128 ");
    });
    EXPECT_NE(changed, lines.end()) << r.out;
    EXPECT_EQ(last_lines(lines, 1),
              Lines{"Checked 4 files listed in 2 histories: 2 intact, 1 changed, 1 missing, 1 new"});
    EXPECT_EQ(state(backup()), before);
    EXPECT_EQ(state(primary()), primary_before);
}

TEST_F(CheckTest, ReportFitsItsSchema)
{
    fs::create_directories(tmp() / "lib/ascmhl");
    test::write_file(tmp() / "lib/a.txt", "alpha\n");
    const std::string md5 = hex_digest("/usr/bin/md5sum", tmp() / "lib/a.txt");
    test::write_file(tmp() / "lib/ascmhl/0001_lib_2020-01-01_000000Z.mhl",
                     "<hashlist version=\"2.0\" xmlns=\"urn:ASC:MHL:v2.0\"><hashes><hash>"
                     "<path size=\"6\">a.txt</path><md5 action=\"original\">" + md5 +
                     "</md5></hash><hash><path size=\"1\">gone.txt</path><md5>00</md5></hash>"
                     "</hashes></hashlist>\n");
    // A new file whose name is not UTF-8 is reported so that it can be found again.
    test::write_file(tmp() / "lib/b\xff.txt", "beta\n");

    const ProcessResult r = check(tmp() / "lib", {"--report", (tmp() / "check.json").string()});

    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    const ProcessResult valid = test::run_process(
        {"/usr/bin/python3", "-c",
         "import json, sys, jsonschema\n"
         "report = json.load(open(sys.argv[1]))\n"
         "jsonschema.validate(report, json.load(open(sys.argv[2])), format_checker=jsonschema.FormatChecker())\n"
         "print(report['outcome']['result'], report['counts']['intact'], report['counts']['missing'],\n"
         "      [(f.get('path_bytes', f['path']), f['state'], f['hash_type']) for f in report['files']])",
         (tmp() / "check.json").string(), CHECK_REPORT_SCHEMA});
    EXPECT_EQ(valid.exit_code, 0) << valid.err;
    EXPECT_EQ(valid.out, "damaged 1 1 [('a.txt', 'intact', 'md5'), ('gone.txt', 'missing', None), "
                         "('b%FF.txt', 'new', None)]\n");

    // A history that names a file outside its tree vouches for nothing.
    test::write_file(tmp() / "lib/ascmhl/0002_lib_2020-01-02_000000Z.mhl",
                     "<hashlist version=\"2.0\" xmlns=\"urn:ASC:MHL:v2.0\"><hashes><hash>"
                     "<path size=\"6\">../outside.txt</path><md5>00</md5></hash></hashes></hashlist>\n");
    const ProcessResult outside = check(tmp() / "lib");
    EXPECT_EQ(outside.exit_code, 1);
    EXPECT_NE(outside.out.find("Not a path below the history's root: \"../outside.txt\""), std::string::npos)
        << outside.out;
}

// The standard's own example history, with one hash made to match the bytes the test
// writes, and a tree below it whose history another tool wrote with sha1 hashes.
TEST_F(CheckTest, ReadsHistoriesOfOtherTools)
{
    const fs::path library = tmp() / "lib";
    fs::create_directories(library / "ascmhl");
    fs::create_directories(library / "Clips");
    std::string example = test::read_file(std::string(MHL_DATA) + "/0001_TEST01_2019-10-11_155603.mhl");
    const std::string xxh64_of_abcde = "07e3670c0c8dc7eb";
    example.replace(example.find("0ea03b369a463d9d"), 16, xxh64_of_abcde);
    test::write_file(library / "ascmhl/0001_TEST01_2019-10-11_155603.mhl", example);
    test::write_file(library / "Clips/A002C006_141024_R2EC.mov", "abcde");
    test::write_file(library / "Clips/A002C007_141024_R2EC.mov", "fghij");
    test::write_file(library / "Clips/.DS_Store", "ignored by the example's patterns");
    fs::create_directories(library / "Stills/ascmhl");
    test::write_file(library / "Stills/b.txt", "beta\n");
    test::write_file(library / "Stills/ascmhl/0001_Stills_2021-02-03_040506Z.mhl",
                     "<hashlist version=\"2.0\" xmlns=\"urn:ASC:MHL:v2.0\"><hashes><hash>"
                     "<path size=\"5\">b.txt</path><sha1 action=\"original\">" +
                         hex_digest("/usr/bin/sha1sum", library / "Stills/b.txt") +
                         "</sha1></hash></hashes></hashlist>\n");

    const ProcessResult r = check(library);

    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    EXPECT_EQ(output_lines(r.out),
              (Lines{"Intact: Clips/A002C006_141024_R2EC.mov",
                     "Changed: Clips/A002C007_141024_R2EC.mov (xxh64 " +
                         hex_digest("/usr/bin/xxh64sum", library / "Clips/A002C007_141024_R2EC.mov") +
                         ", the history says 7680e5f98f4a80fd)",
                     "Missing: Sidecar.txt", "Intact: Stills/b.txt", "",
                     "Checked 4 files listed in 2 histories: 2 intact, 1 changed, 1 missing, 0 new"}));
}

}  // namespace
}  // namespace oakvane::e2e
