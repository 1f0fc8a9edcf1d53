#include "c4_id.h"
#include "mhl_chain.h"
#include "mhl_history.h"
#include "mhl_store.h"
#include "process.h"
#include "temp_dir.h"
#include "xxh128.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <unistd.h>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

const std::string kData = MHL_DATA;
const std::string kExample = "0001_mhltest_2026-12-07_233718Z.mhl";
constexpr std::time_t kRunTime = 1796693025;  // 2026-12-08 01:23:45 UTC

// A program's full path from PATH, "" when there is none.
std::string find_program(const std::string& name)
{
    std::istringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (const std::string path = dir + "/" + name; ::access(path.c_str(), X_OK) == 0)
            return path;
    return "";
}

// xmllint's verdict on file against schema: "" when valid, else what it said.
std::string schema_errors(const std::string& xmllint, const std::string& schema,
                          const std::string& file)
{
    const test::ProcessResult result =
        test::run_process({xmllint, "--noout", "--schema", kData + "/" + schema, file});
    return result.exit_code == 0 ? "" : result.err + result.out;
}

// The string value of an XPath expression over file, as xmllint reads the XML.
std::string xpath(const std::string& xmllint, const std::string& file, const std::string& expr)
{
    std::string value =
        test::run_process({xmllint, "--xpath", "string(" + expr + ")", file}).out;
    if (!value.empty() && value.back() == '\n')  // xmllint's own
        value.pop_back();
    return value;
}

MhlFile image(const std::string& path, const std::string& card_path)
{
    return {path, 6, kRunTime - 3600, xxh128_hex(path.data(), path.size()), card_path};
}

MhlGeneration generation(const std::string& root, std::vector<MhlFile> files)
{
    return {root, std::move(files), "1.4.0", "studio-pc", kRunTime};
}

std::vector<std::string> ascmhl_names(const std::string& root)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root + "/ascmhl"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<ChainEntry> chain_of(const std::string& root)
{
    std::vector<ChainEntry> entries;
    const std::string xml = test::read_file(root + "/ascmhl/ascmhl_chain.xml");
    EXPECT_TRUE(read_chain(xml, entries)) << xml;
    return entries;
}

class MhlHistory : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(root); }
    std::string folder(const std::string& name) const { return root + "/ascmhl/" + name; }
    void require_xmllint()
    {
        xmllint = find_program("xmllint");
        if (xmllint.empty())
            GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    }

    test::TempDir dir;
    const std::string root = dir / "Backup";
    std::string xmllint;
};

}  // namespace

TEST(MhlC4, IdOfTheExampleGenerationIsTheOneItsChainRecords)
{
    std::vector<ChainEntry> chain;
    ASSERT_TRUE(read_chain(test::read_file(kData + "/ascmhl_chain.example.xml"), chain));
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_EQ(chain[0].number, 1);
    EXPECT_EQ(chain[0].path, kExample);
    EXPECT_EQ(c4_id(test::read_file(kData + "/" + kExample)), chain[0].c4);
}

TEST(MhlC4, AgreesWithPythonOnTextsWithAndWithoutPadding)
{
    const std::string python = find_program("python3");
    if (python.empty())
        GTEST_SKIP() << "python3 is not installed";
    // About one SHA-512 in five is short enough in base58 to need '1's in front.
    const char* script =
        "import hashlib,sys\n"
        "A='123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz'\n"
        "for i in range(40):\n"
        " n=int.from_bytes(hashlib.sha512(b'x'*i).digest(),'big');s=''\n"
        " while n: n,r=divmod(n,58);s=A[r]+s\n"
        " print('c4'+s.rjust(88,'1'))\n";
    const test::ProcessResult result = test::run_process({python, "-c", script});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    std::istringstream lines(result.out);
    std::string expected;
    int padded = 0;
    for (int i = 0; std::getline(lines, expected); ++i) {
        EXPECT_EQ(c4_id(std::string(i, 'x')), expected) << i;
        padded += expected[2] == '1';
    }
    EXPECT_GT(padded, 0);
}

TEST(MhlXxh128, PiecesHashAsTheWholeHighHalfFirst)
{
    // The example generation's a.mov holds six bytes; this is the hash it lists for them.
    const std::string data = "hello\n";
    EXPECT_EQ(xxh128_hex(data.data(), data.size()), "6bba86c7e069f56d5a10b435f1c8e49c");
    EXPECT_EQ(xxh128_hex("", 0), "99aa06d3014798d86001c324468d497f");
    Xxh128 pieces;
    pieces.update(data.data(), 2);
    pieces.update(nullptr, 0);
    pieces.update(data.data() + 2, 4);
    EXPECT_EQ(pieces.hex(), xxh128_hex(data.data(), data.size()));
}

TEST_F(MhlHistory, TwoGenerationsAndTheirChainAreValidAndChained)
{
    require_xmllint();
    ASSERT_TRUE(add_mhl_generation(
        generation(root, {image("2026/IMG_0001.JPG", "/card/DCIM/IMG_0001.JPG"),
                          image("2026/IMG_0002.CR3", "/card/DCIM/IMG_0002.CR3")})));
    ASSERT_TRUE(add_mhl_generation(
        generation(root + "/", {image("2026/IMG_0003.JPG", "/card/IMG_0003.JPG")})));

    const std::string first = "0001_Backup_2026-12-08_012345Z.mhl";
    const std::string second = "0002_Backup_2026-12-08_012345Z.mhl";
    EXPECT_EQ(ascmhl_names(root), (std::vector<std::string>{first, second, "ascmhl_chain.xml"}));
    EXPECT_EQ(schema_errors(xmllint, "ASCMHL.xsd", folder(first)), "");
    EXPECT_EQ(schema_errors(xmllint, "ASCMHL.xsd", folder(second)), "");
    EXPECT_EQ(schema_errors(xmllint, "ASCMHLDirectory.xsd", folder("ascmhl_chain.xml")), "");

    const std::vector<ChainEntry> chain = chain_of(root);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0].number, 1);
    EXPECT_EQ(chain[0].path, first);
    EXPECT_EQ(chain[0].c4, c4_id(test::read_file(folder(first))));
    EXPECT_EQ(chain[1].number, 2);
    EXPECT_EQ(chain[1].c4, c4_id(test::read_file(folder(second))));

    const std::string hash2 = "//*[local-name()='hash'][2]/*[local-name()=";
    EXPECT_EQ(xpath(xmllint, folder(first), hash2 + "'path']"), "2026/IMG_0002.CR3");
    EXPECT_EQ(xpath(xmllint, folder(first), hash2 + "'path']/@lastmodificationdate"),
              "2026-12-08T00:23:45+00:00");
    EXPECT_EQ(xpath(xmllint, folder(first), hash2 + "'xxh128']"),
              xxh128_hex("2026/IMG_0002.CR3", 17));
    EXPECT_EQ(xpath(xmllint, folder(first), hash2 + "'metadata']/*[local-name()='cardfile']"),
              "/card/DCIM/IMG_0002.CR3");
    EXPECT_EQ(xpath(xmllint, folder(second), "//*[local-name()='process']"), "transfer");
    EXPECT_EQ(xpath(xmllint, folder(second), "//*[local-name()='creationdate']"),
              "2026-12-08T01:23:45+00:00");
}

TEST_F(MhlHistory, NumberingGoesOnPastTheHighestGenerationAndChainsTheUnchainedOnes)
{
    require_xmllint();
    // Generations with no chain entry, as a crash between the two files leaves them.
    fs::create_directory(root + "/ascmhl");
    const std::string example = test::read_file(kData + "/" + kExample);
    test::write_file(folder("0001_Backup_2026-12-01_100000Z.mhl"), example);
    test::write_file(folder("0003_Backup_2026-12-03_100000Z.mhl"), example + " ");
    test::write_file(folder("0007_notes.txt"), "not a generation");

    ASSERT_TRUE(add_mhl_generation(generation(root, {})));

    const std::string made = "0004_Backup_2026-12-08_012345Z.mhl";
    EXPECT_EQ(schema_errors(xmllint, "ASCMHL.xsd", folder(made)), "");
    EXPECT_EQ(schema_errors(xmllint, "ASCMHLDirectory.xsd", folder("ascmhl_chain.xml")), "");
    EXPECT_EQ(test::read_file(folder("0001_Backup_2026-12-01_100000Z.mhl")), example);
    const std::vector<ChainEntry> chain = chain_of(root);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0].number, 1);
    EXPECT_EQ(chain[0].c4, c4_id(example));
    EXPECT_EQ(chain[1].number, 3);
    EXPECT_EQ(chain[1].c4, c4_id(example + " "));
    EXPECT_EQ(chain[2].path, made);
}

TEST_F(MhlHistory, NumberingCountsChainedGenerationsWhoseFileIsGone)
{
    fs::create_directory(root + "/ascmhl");
    test::write_file(folder("ascmhl_chain.xml"),
                     "<d:ascmhldirectory xmlns:d='urn:ASC:MHL:DIRECTORY:v2.0'><d:hashlist>"
                     "<d:path>0005_Backup_2026-01-01_000000Z.mhl</d:path><d:c4>c4x</d:c4>"
                     "</d:hashlist></d:ascmhldirectory>");
    ASSERT_TRUE(add_mhl_generation(generation(root, {image("a.jpg", "/card/a.jpg")})));
    const std::vector<ChainEntry> chain = chain_of(root);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0].c4, "c4x");
    EXPECT_EQ(chain[1].path, "0006_Backup_2026-12-08_012345Z.mhl");
}

TEST_F(MhlHistory, ChainKeepsTheIdRecordedForAGenerationChangedSince)
{
    ASSERT_TRUE(add_mhl_generation(generation(root, {image("a.jpg", "/card/a.jpg")})));
    const std::string first = folder("0001_Backup_2026-12-08_012345Z.mhl");
    const std::string recorded = c4_id(test::read_file(first));
    test::write_file(first, test::read_file(first) + "<!-- edited -->\n");

    ASSERT_TRUE(add_mhl_generation(generation(root, {image("b.jpg", "/card/b.jpg")})));
    const std::vector<ChainEntry> chain = chain_of(root);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0].c4, recorded);
}

TEST_F(MhlHistory, NamesWithXmlMarkupCharactersRoundTrip)
{
    require_xmllint();
    const std::string odd_root = dir / "R&D <\"Ä\">";
    fs::create_directory(odd_root);
    const std::string path = "Tom & Jerry/<x> \"quoted\" 'single'/Café\r\tÄ😀.jpg";
    const std::string card = "/media/Ünïcode & <card>/DCIM/\"a\".jpg";
    MhlGeneration first_run = generation(odd_root, {image(path, card)});
    first_run.tool_version = "1.5 \"beta\" & <x>";
    ASSERT_TRUE(add_mhl_generation(first_run));
    ASSERT_TRUE(add_mhl_generation(generation(odd_root, {image("b.jpg", "/card/b.jpg")})));

    const std::string first = odd_root + "/ascmhl/0001_R&D <\"Ä\">_2026-12-08_012345Z.mhl";
    const std::string chain = odd_root + "/ascmhl/ascmhl_chain.xml";
    EXPECT_EQ(schema_errors(xmllint, "ASCMHL.xsd", first), "");
    EXPECT_EQ(schema_errors(xmllint, "ASCMHLDirectory.xsd", chain), "");
    EXPECT_EQ(xpath(xmllint, first, "//*[local-name()='hash']/*[local-name()='path']"), path);
    EXPECT_EQ(xpath(xmllint, first, "//*[local-name()='cardfile']"), card);
    EXPECT_EQ(xpath(xmllint, first, "//*[local-name()='tool']/@version"), first_run.tool_version);
    // The first entry went through the chain's reading and writing once more.
    EXPECT_EQ(xpath(xmllint, chain, "//*[local-name()='hashlist'][1]/*[local-name()='path']"),
              file_name_of(first));
}

TEST_F(MhlHistory, ARootWhoseNameFillsAFileNameStillGetsGenerations)
{
    // Two-byte characters, so that a cut in the middle of one would show as bad UTF-8.
    std::string name = "ab";
    while (name.size() + 2 <= NAME_MAX)
        name += "é";
    const std::string long_root = dir / name;
    fs::create_directory(long_root);
    ASSERT_TRUE(add_mhl_generation(generation(long_root, {image("a.jpg", "/card/a.jpg")})));
    ASSERT_TRUE(add_mhl_generation(generation(long_root, {image("b.jpg", "/card/b.jpg")})));
    const std::vector<std::string> names = ascmhl_names(long_root);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].size(), NAME_MAX - 1);  // one byte short of a whole "é"
    EXPECT_TRUE(names[1].starts_with("0002_abé"));
    EXPECT_EQ(chain_of(long_root).size(), 2u);
}

TEST_F(MhlHistory, RefusesWhatXmlCantHoldBeforeWritingAnything)
{
    for (const std::string& bad : {std::string("bad\xff.jpg"), std::string("bell\a.jpg"),
                                  std::string("\xed\xa0\x80.jpg"), std::string("/abs.jpg")}) {
        const MhlGeneration refused = generation(root, {image("good.jpg", "/c/g"), image(bad, "/c/b")});
        EXPECT_FALSE(add_mhl_generation(refused)) << bad;
    }
    MhlFile not_hashed = image("good.jpg", "/c/g");
    not_hashed.xxh128 = "6BBA86C7E069F56D5A10B435F1C8E49C";
    EXPECT_FALSE(add_mhl_generation(generation(root, {not_hashed})));
    EXPECT_FALSE(fs::exists(root + "/ascmhl"));

    const std::string bad_root = dir / "bad\xff";
    fs::create_directory(bad_root);
    EXPECT_FALSE(add_mhl_generation(generation(bad_root, {image("good.jpg", "/c/g")})));
    EXPECT_FALSE(fs::exists(bad_root + "/ascmhl"));
}

TEST_F(MhlHistory, AChainItCantReadIsLeftAloneAndNoGenerationAdded)
{
    fs::create_directory(root + "/ascmhl");
    for (const std::string& chain : {std::string("not xml at all"),
                                    std::string("<ascmhldirectory><hashlist sequencenr=\"1\"><path>x"
                                                "</path></hashlist></ascmhldirectory>"),
                                    std::string("<ascmhldirectory><hashlist sequencenr=\"1\">"
                                                "</ascmhldirectory>")}) {
        test::write_file(folder("ascmhl_chain.xml"), chain);
        const MhlGeneration one = generation(root, {image("a.jpg", "/card/a.jpg")});
        EXPECT_FALSE(add_mhl_generation(one)) << chain;
        EXPECT_EQ(test::read_file(folder("ascmhl_chain.xml")), chain);
        EXPECT_EQ(ascmhl_names(root), std::vector<std::string>{"ascmhl_chain.xml"});
    }
}

TEST_F(MhlHistory, AnExistingGenerationIsNeverReplaced)
{
    fs::create_directory(root + "/ascmhl");
    const std::string taken = folder("0001_Backup_2026-12-08_012345Z.mhl");
    test::write_file(taken, "the first run's generation");
    DiskWriter writer;
    const Status published = publish_generation(writer, taken, "another generation");
    ASSERT_FALSE(published);
    EXPECT_EQ(published.failure().err, EEXIST);
    EXPECT_EQ(test::read_file(taken), "the first run's generation");
    EXPECT_EQ(ascmhl_names(root), std::vector<std::string>{file_name_of(taken)});

    ASSERT_TRUE(replace_chain(writer, folder("ascmhl_chain.xml"), "one"));
    ASSERT_TRUE(replace_chain(writer, folder("ascmhl_chain.xml"), "two"));
    EXPECT_EQ(test::read_file(folder("ascmhl_chain.xml")), "two");
    EXPECT_EQ(ascmhl_names(root).size(), 2u);  // no staging file stays
}
