#include "recording_host.h"
#include "sidecar.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

class Sidecar : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::use_host(host);
        run_state().sidecar_path = dir / "template.xmp";
        test::write_file(run_state().sidecar_path, kTemplate);
    }
    static constexpr const char* kTemplate = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>\n";
    test::RecordingHost host;
    test::TempDir dir;
};

}  // namespace

TEST(SidecarPath, OnlyThreeLetterExtensionsGetOne)
{
    EXPECT_EQ(sidecar_path_for("/p/IMG_0001.JPG"), "/p/IMG_0001.xmp");
    EXPECT_EQ(sidecar_path_for("/p/IMG_0001.NEF"), "/p/IMG_0001.xmp");
    EXPECT_EQ(sidecar_path_for("/p/IMG_0001.jpeg"), "");
    EXPECT_EQ(sidecar_path_for("/p/README"), "");
    EXPECT_EQ(sidecar_path_for("/p/IMG_0001.XMP"), "");
}

TEST_F(Sidecar, CopiesTheTemplateOnceAndKeepsExistingOnes)
{
    ASSERT_EQ(create_sidecar(dir / "IMG_0001.JPG", true), 1);
    EXPECT_EQ(test::read_file(dir / "IMG_0001.xmp"), kTemplate);
    EXPECT_EQ(run_state().sidecars, std::vector<std::string>{dir / "IMG_0001.xmp"});

    // The raw of the same shot finds the sidecar there, and no staging file stays.
    ASSERT_EQ(create_sidecar(dir / "IMG_0001.CR2", true), 1);
    EXPECT_EQ(run_state().sidecars.size(), 1u);

    test::write_file(dir / "IMG_0002.xmp", "edited by the user");
    ASSERT_EQ(create_sidecar(dir / "IMG_0002.JPG", false), 1);
    EXPECT_EQ(test::read_file(dir / "IMG_0002.xmp"), "edited by the user");
    EXPECT_EQ(run_state().sidecars.size(), 1u);  // unlisted calls add nothing
    EXPECT_EQ(test::list_tree(dir.path()),
              (std::vector<std::string>{"IMG_0001.xmp", "IMG_0002.xmp", "template.xmp"}));
}

TEST_F(Sidecar, NoTemplateMeansNoSidecars)
{
    run_state().sidecar_path.clear();
    EXPECT_EQ(create_sidecar(dir / "IMG_0001.JPG", true), 1);
    EXPECT_EQ(create_sidecar("x", true), 1);  // not even looked at
    EXPECT_FALSE(fs::exists(dir / "IMG_0001.xmp"));
}

TEST_F(Sidecar, FailuresAreRecordedAndLeaveNoEmptySidecar)
{
    EXPECT_EQ(create_sidecar("x", true), 0);
    EXPECT_EQ(run_state().last_error, "create_sidecar: path too short");

    run_state().sidecar_path = dir / "missing.xmp";
    EXPECT_EQ(create_sidecar(dir / "IMG_0003.JPG", true), 0);
    EXPECT_EQ(run_state().last_error, "Can't access metadata template");
    EXPECT_FALSE(fs::exists(dir / "IMG_0003.xmp"));

    EXPECT_EQ(create_sidecar(dir / "no/such/folder/IMG_0004.JPG", true), 0);
    EXPECT_EQ(run_state().last_error, "create_sidecar: creat error");
}

TEST_F(Sidecar, StopWhileCopyingTheTemplate)
{
    host.stop = 1;
    EXPECT_EQ(create_sidecar(dir / "IMG_0005.JPG", true), 0);
    EXPECT_EQ(run_state().last_error, "Stopped");
    EXPECT_FALSE(fs::exists(dir / "IMG_0005.xmp"));
}
