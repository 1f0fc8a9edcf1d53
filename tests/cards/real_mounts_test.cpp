// Card detection on real mounts: ext2 images on loop devices (cards and a stick) and memory
// file systems, mounted and unmounted while the detector follows the kernel's mount table.

#include "card_detector.h"
#include "card_test_support.h"
#include "mounts.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <utility>

namespace oakvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Only the volumes below the test's own folder: whatever else is mounted on the machine,
// cards included, must not change the count.
class VolumesBelow final : public VolumeSource {
public:
    explicit VolumesBelow(std::string root) : m_prefix(std::move(root) + "/") {}
    VolumeScan list_volumes() override
    {
        VolumeScan scan = m_system->list_volumes();
        std::erase_if(scan.volumes,
                      [&](const Volume& v) { return !v.mount_point.starts_with(m_prefix); });
        return scan;
    }

private:
    std::string m_prefix;
    std::unique_ptr<VolumeSource> m_system = make_system_volume_source();
};

// The volumes below root; just after the first list is read, before it is handed back, it
// runs mount_now: a volume mounted while the detector reads its baseline.
class MountsAfterFirstListing final : public VolumeSource {
public:
    MountsAfterFirstListing(std::string root, std::function<void()> mount_now)
        : m_below(std::move(root)), m_mount_now(std::move(mount_now))
    {
    }
    VolumeScan list_volumes() override
    {
        VolumeScan scan = m_below.list_volumes();
        if (m_mount_now)
            std::exchange(m_mount_now, nullptr)();
        return scan;
    }

private:
    VolumesBelow m_below;
    std::function<void()> m_mount_now;
};

bool has(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class RealMountTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensure_app();
        m_root = fs::canonical(m_tmp.path()).string();
        if (const std::string why = test::mount_refusal(m_root); !why.empty())
            GTEST_SKIP() << "real mounts not possible here: " << why;
        if (!test::private_mount_namespace())
            std::cout << "note: mounting in the machine's own mount namespace\n";
    }

    std::string at(const std::string& name) const { return m_root + "/" + name; }

    // An ext2 image labelled label (none when empty) holding folders, mounted on a loop device
    // at <root>/name.
    std::unique_ptr<test::Mount> mount_image(const std::string& name, const std::string& label,
                                             const Lines& folders)
    {
        const std::string image = at(name + ".img");
        const std::string error = test::make_ext2_image(image, label, folders);
        EXPECT_EQ(error, "");
        return std::make_unique<test::Mount>(Lines{"-o", "loop", image}, at(name));
    }

    // The ext2 card "NIKON_D70" with a DCIM folder.
    std::unique_ptr<test::Mount> mount_nikon(const std::string& name)
    {
        return mount_image(name, "NIKON_D70", {"DCIM/100NIKON"});
    }

    std::unique_ptr<CardDetector> watching_detector()
    {
        auto detector = std::make_unique<CardDetector>(
            view, std::make_unique<VolumesBelow>(m_root), [this] { return auto_ingest; });
        std::string error;
        EXPECT_TRUE(detector->start_watching(error)) << error;
        detector->ScanForCards();
        return detector;
    }

    test::TempDir m_tmp;  // first, so that it outlives every mount in it
    std::string m_root;
    test::RecordingView view;
    bool auto_ingest = true;
};

TEST_F(RealMountTest, LoopMountedImageIsListedWithItsLabel)
{
    auto card = mount_nikon("card");
    if (!card->ok())
        GTEST_SKIP() << "loop mounts not possible here: " << card->error();
    const VolumeScan scan = make_system_volume_source()->list_volumes();
    ASSERT_TRUE(scan.ok) << scan.error;
    const auto it = std::find_if(scan.volumes.begin(), scan.volumes.end(),
                                 [&](const Volume& v) { return v.mount_point == at("card"); });
    ASSERT_NE(it, scan.volumes.end());
    EXPECT_EQ(it->fs_type, "ext2");
    EXPECT_TRUE(it->device.starts_with("/dev/loop")) << it->device;
    EXPECT_EQ(it->label, "NIKON_D70");
    EXPECT_TRUE(it->has_dcim);
    for (const Volume& v : scan.volumes)
        EXPECT_TRUE(v.fs_type != "proc" && v.fs_type != "sysfs" && v.fs_type != "cgroup2")
            << v.mount_point << " is " << v.fs_type;
}

TEST_F(RealMountTest, CardComesAndGoesWithItsMount)
{
    auto detector = watching_detector();
    test::DetectorLog log(*detector);
    ASSERT_EQ(view.status, "Insert card or connect camera");

    auto card = mount_nikon("card");
    if (!card->ok())
        GTEST_SKIP() << "loop mounts not possible here: " << card->error();
    ASSERT_TRUE(test::run_events_until([&] { return has(log.events, "+" + at("card")); }))
        << "no insertion seen";
    EXPECT_EQ(detector->state().card_name, at("card") + "/ (NIKON_D70)");
    EXPECT_EQ(detector->state().card_folder, at("card") + "/DCIM");
    EXPECT_EQ(view.card, "Image card mounted: " + at("card") + "/ (NIKON_D70)");
    EXPECT_TRUE(view.eject);
    EXPECT_EQ(log.runs, 1);

    // A volume without DCIM comes and goes: the card stays as it is, no run starts.
    const Lines shown = view.calls;
    const int changes = log.state_changes;
    {
        auto stick = mount_image("stick", "STICK", {});
        ASSERT_TRUE(stick->ok()) << stick->error();
        ASSERT_TRUE(test::run_events_until([&] { return has(log.events, "+" + at("stick")); }));
        ASSERT_TRUE(stick->unmount()) << stick->error();
        ASSERT_TRUE(test::run_events_until([&] { return has(log.events, "-" + at("stick")); }));
    }
    EXPECT_EQ(view.calls, shown);
    EXPECT_EQ(log.runs, 1);
    EXPECT_EQ(log.state_changes, changes);

    ASSERT_TRUE(card->unmount()) << card->error();
    ASSERT_TRUE(test::run_events_until([&] { return has(log.events, "-" + at("card")); }))
        << "no removal seen";
    EXPECT_EQ(view.status, "Insert card or connect camera");
    EXPECT_EQ(view.card, "No image card mounted");
    EXPECT_FALSE(view.eject);
    EXPECT_EQ(detector->state().card_name, "");
    EXPECT_EQ(detector->state().card_folder, "");
    EXPECT_TRUE(log.failures.empty());
}

TEST_F(RealMountTest, UnlabelledCardIsNamedByItsRootAndASecondMakesMultiple)
{
    auto detector = watching_detector();
    test::DetectorLog log(*detector);

    auto camera = mount_image("camera", "", {"DCIM"});
    ASSERT_TRUE(camera->ok()) << camera->error();
    ASSERT_TRUE(test::run_events_until([&] { return has(log.events, "+" + at("camera")); }));
    EXPECT_EQ(detector->state().card_name, at("camera") + "/");
    EXPECT_EQ(view.card, "Image card mounted: " + at("camera") + "/");
    EXPECT_EQ(log.runs, 1);

    auto second = mount_image("second", "", {"DCIM"});
    ASSERT_TRUE(second->ok()) << second->error();
    ASSERT_TRUE(test::run_events_until([&] { return has(log.events, "+" + at("second")); }));
    EXPECT_EQ(view.status, "Press Start to choose card");
    EXPECT_EQ(view.card, "Multiple image cards mounted");
    EXPECT_EQ(detector->state().card_name, "");
    EXPECT_EQ(log.runs, 1);
}

// /tmp is often a tmpfs: photos unpacked there are no card, and start no run.
TEST_F(RealMountTest, TmpfsHoldingDcimIsNoCard)
{
    auto detector = watching_detector();
    test::DetectorLog log(*detector);
    test::Mount unpacked({"-t", "tmpfs", "tmpfs"}, at("unpacked"));
    ASSERT_TRUE(unpacked.ok()) << unpacked.error();
    fs::create_directories(at("unpacked/DCIM/100NIKON"));
    // A volume mounted afterwards: once it is seen, the tmpfs has been seen as well.
    auto stick = mount_image("stick", "STICK", {});
    ASSERT_TRUE(stick->ok()) << stick->error();
    ASSERT_TRUE(test::run_events_until([&] { return has(log.events, "+" + at("stick")); }));
    detector->ScanForCards();
    EXPECT_EQ(log.events, Lines{"+" + at("stick")});
    EXPECT_EQ(view.status, "Insert card or connect camera");
    EXPECT_EQ(detector->state().card_folder, "");
    EXPECT_EQ(log.runs, 0);
}

// A volume mounted while the detector takes its baseline is not in it, so the change that
// mount made must be noticed, or the volume would surface as "inserted" only with some later,
// unrelated change.
TEST_F(RealMountTest, MountLandingWhileTheBaselineIsReadIsAnInsertion)
{
    std::unique_ptr<test::Mount> stick;  // before the detector, so that it outlives it
    ASSERT_EQ(test::make_ext2_image(at("stick.img"), "STICK", {}), "");
    CardDetector detector(view,
                          std::make_unique<MountsAfterFirstListing>(m_root, [&] {
                              stick = std::make_unique<test::Mount>(
                                  Lines{"-o", "loop", at("stick.img")}, at("stick"));
                          }),
                          [] { return false; });
    test::DetectorLog log(detector);
    std::string error;
    ASSERT_TRUE(detector.start_watching(error)) << error;
    ASSERT_TRUE(stick) << "the baseline was not read";
    ASSERT_TRUE(stick->ok()) << stick->error();
    EXPECT_TRUE(test::run_events_until([&] { return has(log.events, "+" + at("stick")); }))
        << "the mount made while the baseline was read raised no insertion";
    EXPECT_EQ(log.events, Lines{"+" + at("stick")});
}

// A monitor that does not take the change it was woken for wakes without end, many thousand
// times a second. A few stray wake-ups are allowed: the machine's own mount work may cause them.
TEST_F(RealMountTest, MonitorWakesOnlyWhenTheMountTableChanges)
{
    if (!test::private_mount_namespace())
        GTEST_SKIP() << "other processes' mounts would wake the monitor here";
    constexpr int kStray = 5;
    auto table = std::make_shared<test::VolumeTable>();
    CardDetector detector(view, std::make_unique<test::FakeVolumes>(table), [] { return false; });
    std::string error;
    ASSERT_TRUE(detector.start_watching(error)) << error;
    const int baseline = table->listings;
    test::run_events_until([] { return false; }, 1000);
    EXPECT_LE(table->listings - baseline, kStray) << "woke with nothing mounted or unmounted";

    const int before_mount = table->listings;
    test::Mount stick({"-t", "tmpfs", "tmpfs"}, at("stick"));
    ASSERT_TRUE(stick.ok()) << stick.error();
    ASSERT_TRUE(test::run_events_until([&] { return table->listings > before_mount; }))
        << "no wake-up for a mount";
    const int after_mount = table->listings;
    test::run_events_until([] { return false; }, 1000);
    EXPECT_LE(table->listings - after_mount, kStray) << "kept waking after one mount";
}

}  // namespace
}  // namespace oakvane
