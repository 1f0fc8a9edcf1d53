// Every run leaves an ASC MHL history in each tree it placed copies in: generations the
// standard's schemas accept, listing each copy with the hash it has on the disk, so that a
// copy changed later no longer matches.

#include "e2e_support.h"

#include <filesystem>

namespace oakvane::e2e {
namespace {

using Lines = std::vector<std::string>;

std::string schema(const std::string& name) { return std::string(MHL_DATA) + "/" + name; }

class HistoryTest : public E2eTest {
protected:
    void SetUp() override
    {
        if (test::run_process({"/bin/sh", "-c", "command -v xmllint && command -v xxh128sum"}).exit_code != 0)
            GTEST_SKIP() << "needs xmllint and xxh128sum (Debian's libxml2-utils and xxhash)";
        add_jpeg("DCIM/100CANON/IMG_0001.JPG", cardgen::kDayOne, 1);
        add_raw("DCIM/100CANON/IMG_0002.CR2", cardgen::kDayOne + 1, 5000, 2);
        card_done();
    }
    // The generations of the tree's history, in order.
    static Lines generations(const fs::path& root)
    {
        Lines names;
        for (const auto& entry : fs::directory_iterator(root / "ascmhl"))
            if (entry.path().extension() == ".mhl")
                names.push_back(entry.path().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string xpath(const std::string& file, const std::string& expr)
    {
        std::string value = test::run_process({"/usr/bin/xmllint", "--xpath", "string(" + expr + ")", file}).out;
        while (!value.empty() && value.back() == '\n')
            value.pop_back();
        return value;
    }
    static std::string xxh128sum(const fs::path& file)
    {
        const std::string out = test::run_process({"/usr/bin/xxh128sum", file.string()}).out;
        return out.substr(0, out.find(' '));
    }
    static void expect_valid(const std::string& file, const std::string& xsd)
    {
        const ProcessResult check = test::run_process({"/usr/bin/xmllint", "--noout", "--schema", schema(xsd), file});
        EXPECT_EQ(check.exit_code, 0) << file << ": " << check.err;
    }
    // The hash the generation records for the copy at relative.
    static std::string recorded(const std::string& generation, const std::string& relative)
    {
        return xpath(generation, "//*[local-name()='hash'][*[local-name()='path']='" + relative +
                                     "']/*[local-name()='xxh128']");
    }
};

// Number-range folders get their names only after the backup pass: the copies in them are
// listed under the names they end with, not left out under the placeholder's.
TEST_F(HistoryTest, CopiesInNumberRangeFoldersAreListed)
{
    IngestArgs a = args();
    a.switches = "D-R";
    const ProcessResult r = run_copycard(a);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;

    for (const fs::path& root : {backup(), primary()}) {
        const Lines written = generations(root);
        ASSERT_EQ(written.size(), 1u) << root;
        const Lines copies = test::list_tree(root);
        ASSERT_EQ(copies.size(), 2u) << root;
        for (const std::string& copy : copies) {
            EXPECT_NE(copy.find("/0001-0002/"), std::string::npos) << copy;
            EXPECT_EQ(recorded(written[0], copy), xxh128sum(root / copy)) << copy;
        }
    }
}

TEST_F(HistoryTest, EachTreeGetsAGenerationPerRunThatItsCopiesMatch)
{
    IngestArgs a = args();
    a.converter = STANDIN_CONVERTER;
    a.fmt = "EEEE";
    a.sidecar = template_path();  // sidecars are files the run placed too
    ProcessResult r = run_copycard(a);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;

    for (const fs::path& root : {backup(), primary()}) {
        const Lines written = generations(root);
        ASSERT_EQ(written.size(), 1u) << root;
        expect_valid(written[0], "ASCMHL.xsd");
        expect_valid((root / "ascmhl/ascmhl_chain.xml").string(), "ASCMHLDirectory.xsd");
        // Every copy is listed with the hash it has on the disk, and only the copies.
        for (const std::string& copy : test::list_tree(root))
            EXPECT_EQ(recorded(written[0], copy), xxh128sum(root / copy)) << copy;
        EXPECT_EQ(xpath(written[0], "count(//*[local-name()='hash'])"),
                  std::to_string(test::list_tree(root).size()));
    }
    const std::string primary_generation = generations(primary())[0];
    EXPECT_EQ(xpath(primary_generation, "//*[local-name()='hash'][*[local-name()='path']='IMG_0001.JPG']"
                                        "//*[local-name()='cardfile']"),
              (card_folder() / "100CANON/IMG_0001.JPG").string());

    // A copy changed after the run no longer matches what the history recorded.
    const fs::path dng = primary() / "IMG_0002.dng";
    std::string bytes = test::read_file(dng);
    bytes[bytes.size() / 2] ^= 0x10;
    test::write_file(dng, bytes);
    EXPECT_NE(recorded(primary_generation, "IMG_0002.dng"), xxh128sum(dng));

    // The next run into the same trees adds the next generation, for what it placed.
    add_jpeg("DCIM/100CANON/IMG_0003.JPG", cardgen::kDayOne + 2, 3);
    a.primary = (tmp() / "primary2").string();
    r = run_copycard(a);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const Lines both = generations(backup());
    ASSERT_EQ(both.size(), 2u);
    EXPECT_TRUE(fs::path(both[1]).filename().string().starts_with("0002_backup_")) << both[1];
    expect_valid((backup() / "ascmhl/ascmhl_chain.xml").string(), "ASCMHLDirectory.xsd");
}

// A failed run's history lists what it did publish, never the image that failed.
TEST_F(HistoryTest, AFailedImageIsNeverListed)
{
    add_bytes("DCIM/100CANON/IMG_0003.JPG", cardgen::kDayOne + 2, "This is not a picture.\n");
    card_done();
    IngestArgs a = args();
    a.fmt = "EEEE";
    const ProcessResult r = run_copycard(a);
    ASSERT_EQ(r.exit_code, 1) << r.out;
    const Lines written = generations(backup());
    ASSERT_EQ(written.size(), 1u);
    expect_valid(written[0], "ASCMHL.xsd");
    EXPECT_EQ(recorded(written[0], "IMG_0003.JPG"), "");
    EXPECT_EQ(recorded(written[0], "IMG_0001.JPG"), xxh128sum(backup() / "IMG_0001.JPG"));
}

// The history is part of the proof: a run whose history can't be written is no success.
TEST_F(HistoryTest, AHistoryThatCannotBeWrittenFailsTheRun)
{
    IngestArgs a = args();
    a.fmt = "EEEE";
    fs::create_directories(primary());
    test::write_file(primary() / "ascmhl", "a file where the history's folder goes");
    const ProcessResult r = run_copycard(a);
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_EQ(r.out.find("SUCCESSFUL INGESTION"), std::string::npos) << r.out;
    EXPECT_EQ(output_lines(r.out).end()[-2], "ERROR:") << r.out;
}

}  // namespace
}  // namespace oakvane::e2e
