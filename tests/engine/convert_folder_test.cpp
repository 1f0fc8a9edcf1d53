#include "cardgen.h"
#include "convert_folder.h"
#include "file_kinds.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

using namespace oakvane;
namespace cardgen = oakvane::cardgen;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDayOne = 1150113600;

class ConvertFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        request.preview = "-p1";
        fs::create_directories(backup());
        start();
    }
    // A fresh run with the request as it is now.
    void start() { step.emplace(request); }
    oakvane::Run& run() { return step->run; }
    test::RecordingHost& host() { return step->host; }

    fs::path backup() const { return dir.path() / "backup"; }
    std::string primary() const { return (dir.path() / "primary/2006-06-12").string(); }
    std::string backup_file(const std::string& name, const std::string& content)
    {
        const fs::path path = backup() / name;
        test::write_file(path, content);
        const timespec times[2] = {{kDayOne, 0}, {kDayOne, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path.string();
    }
    // The folder's files through the converter given, or with none.
    Status convert(std::optional<std::string> converter, const std::vector<std::string>& files)
    {
        request.converter = std::move(converter);
        start();
        return convert_or_copy_folder(run(), files, primary());
    }
    static std::time_t mtime(const fs::path& path)
    {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mtime;
    }
    static std::string why(const Status& status) { return status ? "" : status.failure().text(); }

    test::TempDir dir;
    RunRequest request;
    std::optional<test::StepRun> step;
};

}  // namespace

TEST(IsRawFile, KnowsTheRawExtensionsInAnyCase)
{
    for (const char* raw : {"a.CR2", "a.nef", "a.Tif", "x/y.X3F", "a.b.EEF", "a.ARW", "a.cr3",
                            "a.RW2", "a.3fr", "a.IIQ", "a.GPR", "a.dng"})
        EXPECT_TRUE(is_raw_file(raw)) << raw;
    for (const char* other : {"a.JPG", "a.tiff", "NEF", "a.NEF.xmp", "a.", "a.DNG.xmp"})
        EXPECT_FALSE(is_raw_file(other)) << other;
    // A camera's DNG already is one: the converter never gets it.
    EXPECT_TRUE(is_convertible_raw("a.ARW"));
    EXPECT_FALSE(is_convertible_raw("IMG_0001.DNG"));
    EXPECT_FALSE(is_convertible_raw("IMG_0001.dng"));
}

TEST_F(ConvertFolder, CopiesEverythingWithoutAConverter)
{
    const std::string raw = cardgen::small_dng(1);
    const std::vector<std::string> files = {backup_file("IMG_0001.CR2", raw),
                                            backup_file("IMG_0001.THM", "thumb")};
    const Status placed = convert(std::nullopt, files);
    ASSERT_TRUE(placed) << why(placed);
    EXPECT_EQ(test::read_file(primary() + "/IMG_0001.CR2"), raw);
    EXPECT_EQ(mtime(primary() + "/IMG_0001.THM"), kDayOne);
    EXPECT_EQ(run().counts.copied_without_conversion, 2);
    EXPECT_EQ(run().counts.raws_decoded, 1);
    EXPECT_EQ(run().raw_count, 0);
    EXPECT_EQ(host().steps, 2);
}

// With the converter on, a camera's DNG is copied as it is and decoded, and its name is
// kept from the DNG the converter makes of a raw of the same name.
TEST_F(ConvertFolder, CameraDngIsDecodedNotConverted)
{
    const std::vector<std::string> files = {backup_file("IMG_0001.ARW", "raw one"),
                                            backup_file("IMG_0002.DNG", cardgen::small_dng(2))};
    const Status placed = convert(STANDIN_CONVERTER, files);
    ASSERT_TRUE(placed) << why(placed);
    EXPECT_EQ(test::list_tree(primary()), (std::vector<std::string>{"IMG_0001.dng", "IMG_0002.DNG"}));
    EXPECT_EQ(run().raw_count, 1);
    EXPECT_EQ(run().counts.raws_decoded, 1);

    const Status clash = convert(STANDIN_CONVERTER, {backup_file("IMG_0003.ARW", "raw"),
                                                      backup_file("IMG_0003.dng", cardgen::small_dng(3))});
    ASSERT_FALSE(clash);
    EXPECT_NE(clash.failure().message.find("the same name"), std::string::npos) << why(clash);
}

TEST_F(ConvertFolder, ConvertedRawsBecomeDngsWithTheRawsTime)
{
    const std::vector<std::string> files = {backup_file("IMG_0001.CR2", "raw one"),
                                            backup_file("IMG_0002.NEF", "raw two")};
    const Status placed = convert(STANDIN_CONVERTER, files);
    ASSERT_TRUE(placed) << why(placed);
    EXPECT_FALSE(fs::exists(primary() + "/IMG_0001.CR2"));
    EXPECT_EQ(mtime(primary() + "/IMG_0001.dng"), kDayOne);
    EXPECT_EQ(mtime(primary() + "/IMG_0002.dng"), kDayOne);
    EXPECT_EQ(run().raw_count, 2);
    EXPECT_EQ(run().counts.copied_without_conversion, 0);
}

TEST_F(ConvertFolder, VerifyOnlyCopiesRawsAndRemovesTheScratchFolder)
{
    request.verify_only = true;
    const std::vector<std::string> files = {backup_file("IMG_0001.CR2", "raw")};
    const Status placed = convert(STANDIN_CONVERTER, files);
    ASSERT_TRUE(placed) << why(placed);
    EXPECT_EQ(test::list_tree(dir.path() / "primary"), std::vector<std::string>{"2006-06-12/IMG_0001.CR2"});

    EXPECT_EQ(run().raw_count, 1);
    EXPECT_EQ(run().counts.copied_without_conversion, 1);
}

TEST_F(ConvertFolder, AConverterThatWritesNothingFailsOnTheMissingDng)
{
    const std::string raw = backup_file("IMG_0001.CR2", "raw");
    const Status placed = convert("/bin/true", {raw});
    ASSERT_FALSE(placed);
    EXPECT_EQ(placed.failure().message, "The converter made no DNG file from \"" + raw + "\"");
    EXPECT_TRUE(fs::is_empty(primary()));  // nor its scratch folder
}

TEST_F(ConvertFolder, FolderHelpers)
{
    const std::string deep = (dir.path() / "a/b/c").string();
    ASSERT_TRUE(make_folder_path(run(), deep));
    ASSERT_TRUE(make_folder_path(run(), deep));  // existing folders are fine
    EXPECT_TRUE(fs::is_directory(deep));

    test::write_file(dir.path() / "a/file", "");
    const Status made = make_folder_path(run(), (dir.path() / "a/file/sub").string());
    ASSERT_FALSE(made);
    EXPECT_EQ(made.failure().message, "can't create folder");
    EXPECT_EQ(made.failure().path, (dir.path() / "a/file/sub").string());
    EXPECT_EQ(made.failure().err, ENOTDIR);
    ASSERT_FALSE(host().lines.empty());
    EXPECT_EQ(host().lines.back().rfind("Error code = 20; path = ", 0), 0u) << host().lines.back();
}

TEST_F(ConvertFolder, StopDuringACopyRemovesThePartialCopy)
{
    host().on_stop_poll = [](test::RecordingHost& h) { h.stop = h.stop_polls > 1; };
    const Status placed =
        convert_or_copy_folder(run(), std::vector{backup_file("BIG.CR2", std::string(3 * 1048576, 'r'))}, primary());
    ASSERT_FALSE(placed);
    EXPECT_EQ(placed.failure().message, "Stopped");
    EXPECT_FALSE(fs::exists(primary() + "/BIG.CR2"));
}
