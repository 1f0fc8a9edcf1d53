// Cameras in card detection: a camera found by libgphoto2 shows and runs as a card does,
// cannot be ejected, and counts toward "several"; the camera monitor tells only of changes,
// and never looks while a run holds a camera.

#include "camera_monitor.h"
#include "camera_volumes.h"
#include "card_detector.h"
#include "card_test_support.h"

#include <gtest/gtest.h>

namespace oakvane {
namespace {

using camera::ConnectedCamera;
using test::volume;
using Lines = std::vector<std::string>;

const ConnectedCamera kCanon{"Canon EOS 5D Mark III", "usb:001,005"};
const ConnectedCamera kPhone{"Samsung Galaxy (MTP)", "usb:002,007"};

class CameraDetectionTest : public ::testing::Test {
protected:
    CameraDetectionTest()
    {
        test::ensure_app();
        table->scan.volumes = {volume("/", false, {}, 1)};
        std::string why;
        EXPECT_TRUE(detector.start_watching(std::make_unique<MountMonitor>(), why)) << why;
        auto monitor = std::make_unique<CameraMonitor>(cache, [this] { return may_look; }, -1, 3600000);
        cameras_monitor = monitor.get();
        detector.watch_cameras(std::move(monitor));
    }

    CameraLister lister()
    {
        return [this](std::string& why) {
            ++looks;
            why = failure;
            return failure.empty() ? cameras : std::vector<ConnectedCamera>{};
        };
    }

    std::vector<ConnectedCamera> cameras;
    std::string failure;
    int looks = 0;
    bool may_look = true;
    std::shared_ptr<test::VolumeTable> table = std::make_shared<test::VolumeTable>();
    std::shared_ptr<CameraCache> cache = std::make_shared<CameraCache>(lister());
    test::RecordingView view;
    CardDetector detector{view, with_cameras(std::make_unique<test::FakeVolumes>(table), cache),
                          [] { return true; }};
    test::DetectorLog log{detector};
    CameraMonitor* cameras_monitor = nullptr;
};

TEST_F(CameraDetectionTest, AConnectedCameraIsTheCardAndStartsARunButCannotBeEjected)
{
    cameras = {kCanon};
    cameras_monitor->look();

    EXPECT_EQ(log.runs, 1);
    EXPECT_EQ(log.events, Lines{"+camera:usb:001,005"});
    EXPECT_EQ(view.card, "Camera connected: Canon EOS 5D Mark III");
    EXPECT_EQ(view.status, "Press Start to begin");
    EXPECT_FALSE(view.eject);
    EXPECT_EQ(detector.state().card_folder, "camera:usb:001,005");
    EXPECT_EQ(detector.state().card_name, "Canon EOS 5D Mark III");

    // Unplugged: gone from the window too.
    cameras.clear();
    cameras_monitor->look();
    EXPECT_EQ(log.events, (Lines{"+camera:usb:001,005", "-camera:usb:001,005"}));
    EXPECT_EQ(view.card, "No image card mounted");
    EXPECT_EQ(log.runs, 1);
}

TEST_F(CameraDetectionTest, ACameraBesideACardMakesSeveralAndStartsNothing)
{
    table->scan.volumes.push_back(volume("/media/card", true, "EOS_DIGITAL", 2));
    detector.ScanForCards();
    cameras = {kPhone};
    cameras_monitor->look();

    EXPECT_EQ(view.card, "Multiple image cards mounted");
    EXPECT_EQ(detector.state().card_folder, "");
    EXPECT_EQ(log.runs, 0);
}

TEST_F(CameraDetectionTest, TheMonitorLooksOnlyWhenAllowedAndTellsOnlyOfChanges)
{
    const int looks_before = looks;
    may_look = false;
    cameras = {kCanon};
    cameras_monitor->look();
    EXPECT_EQ(looks, looks_before) << "looked for cameras while a run holds one";
    EXPECT_EQ(log.runs, 0);

    may_look = true;
    cameras_monitor->look();
    cameras_monitor->look();
    EXPECT_EQ(log.events, Lines{"+camera:usb:001,005"});
    EXPECT_EQ(log.runs, 1);

    // A look at the mount table takes the cameras as last found: libgphoto2 is too slow to
    // ask at every mount, and a slow scan merges an unmount with the next mount.
    const int looks_now = looks;
    detector.ScanForCards();
    detector.mount_table_changed();
    EXPECT_EQ(looks, looks_now);

    // Detection that fails says so and changes nothing: the camera is not taken as gone.
    failure = "no USB access";
    cameras_monitor->look();
    EXPECT_EQ(log.events, Lines{"+camera:usb:001,005"});
}

}  // namespace
}  // namespace oakvane
