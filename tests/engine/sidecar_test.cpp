#include "file_kinds.h"
#include "recording_host.h"
#include "sidecar.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

using namespace oakvane;
namespace fs = std::filesystem;

namespace {

// The sidecar of image_path made at once, as the copies make theirs: staged, flushed and
// published; one already there is left untouched.
Status create_sidecar(oakvane::Run& run, const std::string& image_path, bool listed)
{
    StagedFile sidecar;
    if (Status staged = stage_sidecar(run, image_path, sidecar); !staged)
        return staged;
    if (sidecar.on_disk())
        if (const int err = sidecar.flush(); err != 0)
            return fail("Write-back error", sidecar_path_for(image_path), err);
    return publish_sidecar(run, sidecar, image_path, listed);
}

class Sidecar : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::write_file(dir / "template.xmp", kTemplate);
        use_template(dir / "template.xmp");
    }
    // A fresh run whose sidecar template is path ("" for none).
    void use_template(const std::string& path)
    {
        RunRequest request;
        request.sidecar_template = path;
        step.emplace(request);
    }
    oakvane::Run& run() { return step->run; }
    Status create(const std::string& image_path, bool listed)
    {
        return create_sidecar(run(), image_path, listed);
    }
    static std::string why(const Status& status) { return status ? "" : status.failure().message; }

    static constexpr const char* kTemplate = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>\n";
    test::TempDir dir;
    std::optional<test::StepRun> step;
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
    ASSERT_TRUE(create(dir / "IMG_0001.JPG", true));
    EXPECT_EQ(test::read_file(dir / "IMG_0001.xmp"), kTemplate);
    EXPECT_EQ(run().sidecars, std::vector<std::string>{dir / "IMG_0001.xmp"});

    // The raw of the same shot finds the sidecar there, and no staging file stays.
    ASSERT_TRUE(create(dir / "IMG_0001.CR2", true));
    EXPECT_EQ(run().sidecars.size(), 1u);

    test::write_file(dir / "IMG_0002.xmp", "edited by the user");
    ASSERT_TRUE(create(dir / "IMG_0002.JPG", false));
    EXPECT_EQ(test::read_file(dir / "IMG_0002.xmp"), "edited by the user");
    EXPECT_EQ(run().sidecars.size(), 1u);  // unlisted calls add nothing
    EXPECT_EQ(test::list_tree(dir.path()),
              (std::vector<std::string>{"IMG_0001.xmp", "IMG_0002.xmp", "template.xmp"}));
}

TEST_F(Sidecar, NoTemplateMeansNoSidecars)
{
    use_template("");
    EXPECT_TRUE(create(dir / "IMG_0001.JPG", true));
    EXPECT_TRUE(create("x", true));  // not even looked at
    EXPECT_FALSE(fs::exists(dir / "IMG_0001.xmp"));
}

TEST_F(Sidecar, FailuresAreRecordedAndLeaveNoEmptySidecar)
{
    EXPECT_EQ(why(create("x", true)), "create_sidecar: path too short");

    use_template(dir / "missing.xmp");
    const Status no_template = create(dir / "IMG_0003.JPG", true);
    ASSERT_FALSE(no_template);
    EXPECT_EQ(no_template.failure().message, "Can't access metadata template");
    EXPECT_EQ(no_template.failure().path, dir / "missing.xmp");
    EXPECT_EQ(no_template.failure().err, ENOENT);
    EXPECT_FALSE(fs::exists(dir / "IMG_0003.xmp"));

    const Status no_folder = create(dir / "no/such/folder/IMG_0004.JPG", true);
    ASSERT_FALSE(no_folder);
    EXPECT_EQ(no_folder.failure().message, "create_sidecar: creat error");
    EXPECT_EQ(no_folder.failure().path, dir / "no/such/folder/IMG_0004.xmp");
    EXPECT_EQ(no_folder.failure().err, ENOENT);
    EXPECT_TRUE(run().sidecars.empty());
}

TEST_F(Sidecar, StopWhileCopyingTheTemplate)
{
    step->host.stop = 1;
    EXPECT_EQ(why(create(dir / "IMG_0005.JPG", true)), "Stopped");
    EXPECT_FALSE(fs::exists(dir / "IMG_0005.xmp"));
}
