#include "c4_id.h"
#include "mhl_chain.h"
#include "process.h"
#include "temp_dir.h"
#include "xxh128.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <unistd.h>

using namespace oakvane;

namespace {

const std::string kData = MHL_DATA;
const std::string kExample = "0001_mhltest_2026-12-07_233718Z.mhl";

// A program's full path from PATH, "" when there is none.
std::string find_program(const std::string& name)
{
    std::istringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (const std::string path = dir + "/" + name; ::access(path.c_str(), X_OK) == 0)
            return path;
    return "";
}

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
