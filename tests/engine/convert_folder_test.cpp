#include "convert_folder.h"
#include "recording_host.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

constexpr std::time_t kDayOne = 1150113600;

class ConvertFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::use_host(host);
        run_state().preview = "-p1";
        fs::create_directories(backup());
    }
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
    int run(const std::string& converter, const std::vector<std::string>& files)
    {
        return convert_or_copy_folder(converter, files, primary(), msg, kConverterMessageSize);
    }
    static std::time_t mtime(const fs::path& path)
    {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mtime;
    }
    test::RecordingHost host;
    test::TempDir dir;
    std::string msg;
};

}  // namespace

TEST(IsRawFile, KnowsTheRawExtensionsInAnyCase)
{
    for (const char* raw : {"a.CR2", "a.nef", "a.Tif", "x/y.X3F", "a.b.EEF"})
        EXPECT_TRUE(is_raw_file(raw)) << raw;
    for (const char* other : {"a.JPG", "a.tiff", "NEF", "a.NEF.xmp", "a."})
        EXPECT_FALSE(is_raw_file(other)) << other;
}

TEST_F(ConvertFolder, CopiesEverythingWithoutAConverter)
{
    const std::vector<std::string> files = {backup_file("IMG_0001.CR2", "raw"),
                                            backup_file("IMG_0001.THM", "thumb")};
    ASSERT_EQ(run("", files), 1);
    EXPECT_EQ(test::read_file(primary() + "/IMG_0001.CR2"), "raw");
    EXPECT_EQ(mtime(primary() + "/IMG_0001.THM"), kDayOne);
    EXPECT_EQ(run_state().unconverted_count, 2);
    EXPECT_EQ(run_state().raw_count, 0);
    EXPECT_EQ(host.steps, 2);
}

TEST_F(ConvertFolder, ConvertedRawsBecomeDngsWithTheRawsTime)
{
    const std::vector<std::string> files = {backup_file("IMG_0001.CR2", "raw one"),
                                            backup_file("IMG_0002.NEF", "raw two")};
    ASSERT_EQ(run(STANDIN_CONVERTER, files), 1) << msg;
    EXPECT_FALSE(fs::exists(primary() + "/IMG_0001.CR2"));
    EXPECT_EQ(mtime(primary() + "/IMG_0001.dng"), kDayOne);
    EXPECT_EQ(mtime(primary() + "/IMG_0002.dng"), kDayOne);
    EXPECT_EQ(run_state().raw_count, 2);
    EXPECT_EQ(run_state().unconverted_count, 0);
}

TEST_F(ConvertFolder, VerifyOnlyCopiesRawsAndRemovesTheScratchFolder)
{
    run_state().verify_only = true;
    const std::vector<std::string> files = {backup_file("IMG_0001.CR2", "raw")};
    ASSERT_EQ(run(STANDIN_CONVERTER, files), 1) << msg;
    EXPECT_EQ(test::list_tree(dir.path() / "primary"), std::vector<std::string>{"2006-06-12/IMG_0001.CR2"});

    EXPECT_EQ(run_state().raw_count, 1);
    EXPECT_EQ(run_state().unconverted_count, 1);
}

TEST_F(ConvertFolder, AConverterThatWritesNothingFailsOnTheMissingDng)
{
    const std::string raw = backup_file("IMG_0001.CR2", "raw");
    ASSERT_EQ(run("/bin/true", {raw}), 0);
    EXPECT_EQ(run_state().last_error, "The converter made no DNG file from \"" + raw + "\"");
    EXPECT_TRUE(fs::is_empty(primary()));  // nor its scratch folder
}

TEST_F(ConvertFolder, FolderHelpers)
{
    const std::string deep = (dir.path() / "a/b/c").string();
    ASSERT_EQ(make_folder_path(deep), 1);
    ASSERT_EQ(make_folder_path(deep), 1);  // existing folders are fine
    EXPECT_TRUE(fs::is_directory(deep));

    test::write_file(dir.path() / "a/file", "");
    EXPECT_EQ(make_folder_path((dir.path() / "a/file/sub").string()), 0);
    EXPECT_EQ(run_state().last_error, "can't create folder");
    ASSERT_FALSE(host.lines.empty());
    EXPECT_EQ(host.lines.back().rfind("Error code = 20; path = ", 0), 0u) << host.lines.back();

    test::write_file(deep + "/x.dng", "1");
    test::write_file(deep + "/y.dng", "2");
    bool ok = false;
    EXPECT_EQ(get_dir_list(deep, ok).size(), 2u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(rmdir_all(deep), 1);
    EXPECT_FALSE(fs::exists(deep));
    EXPECT_EQ(get_dir_list(deep, ok).size(), 0u);  // a missing folder lists as empty
    EXPECT_TRUE(ok);
}

TEST_F(ConvertFolder, StopDuringACopyRemovesThePartialCopy)
{
    host.on_stop_poll = [](test::RecordingHost& h) { h.stop = h.stop_polls > 1; };
    EXPECT_EQ(run("", {backup_file("BIG.CR2", std::string(3 * 1048576, 'r'))}), 0);
    EXPECT_EQ(run_state().last_error, "Stopped");
    EXPECT_FALSE(fs::exists(primary() + "/BIG.CR2"));
}
