// The detector's handling of insertions and removals, over a volume list the test controls.

#include "card_detector.h"
#include "card_test_support.h"

#include <gtest/gtest.h>

namespace oakvane {
namespace {

using test::volume;
using Lines = std::vector<std::string>;

class CardDetectorTest : public ::testing::Test {
protected:
    CardDetectorTest()
    {
        test::ensure_app();
        table->scan.volumes = {volume("/", false, {}, 1)};
    }

    void mount(Volume v) { table->scan.volumes.push_back(std::move(v)); }
    void unmount(const std::string& mount_point)
    {
        std::erase_if(table->scan.volumes,
                      [&](const Volume& v) { return v.mount_point == mount_point; });
    }
    void insert(Volume v)
    {
        const std::string path = v.mount_point;
        mount(std::move(v));
        detector.OnShellNotify(MediaEvent::Inserted, path);
    }

    std::shared_ptr<test::VolumeTable> table = std::make_shared<test::VolumeTable>();
    test::RecordingView view;
    bool auto_ingest = true;
    int auto_ingest_asked = 0;
    CardDetector detector{view, std::make_unique<test::FakeVolumes>(table), [this] {
                              ++auto_ingest_asked;
                              return auto_ingest;
                          }};
    test::DetectorLog log{detector};
};

TEST_F(CardDetectorTest, ScanShowsAndRecordsTheCardOnceOnly)
{
    mount(volume("/media/card", true, "NIKON_D70", 2));
    EXPECT_EQ(detector.ScanForCards(), 1);
    EXPECT_EQ(view.calls, (Lines{"status: Press Start to begin",
                                 "card: Image card mounted: /media/card/ (NIKON_D70)",
                                 "eject: on"}));
    EXPECT_EQ(detector.state().card_folder, "/media/card/DCIM");
    EXPECT_EQ(detector.state().card_name, "/media/card/ (NIKON_D70)");
    EXPECT_EQ(log.state_changes, 1);

    EXPECT_EQ(detector.ScanForCards(), 0);
    EXPECT_EQ(view.calls.size(), 3u);
    EXPECT_EQ(log.state_changes, 1);
}

TEST_F(CardDetectorTest, InsertedCardStartsARunWhenAutomaticIngestionIsOn)
{
    insert(volume("/media/card", true, "NIKON_D70"));
    EXPECT_EQ(log.runs, 1);
    EXPECT_EQ(view.status, "Press Start to begin");
}

TEST_F(CardDetectorTest, InsertedCardOnlyShowsWhenAutomaticIngestionIsOff)
{
    auto_ingest = false;
    insert(volume("/media/card", true));
    EXPECT_EQ(log.runs, 0);
    EXPECT_EQ(auto_ingest_asked, 1);
    EXPECT_EQ(detector.state().card_name, "/media/card/");
    EXPECT_TRUE(view.eject);
}

TEST_F(CardDetectorTest, SecondCardMakesMultipleAndStartsNothing)
{
    insert(volume("/media/a", true, "A"));
    ASSERT_EQ(log.runs, 1);
    insert(volume("/media/b", true, "B"));
    EXPECT_EQ(log.runs, 1);
    EXPECT_EQ(view.status, "Press Start to choose card");
    EXPECT_EQ(view.card, "Multiple image cards mounted");
    EXPECT_FALSE(view.eject);
    EXPECT_EQ(detector.state().card_folder, "");
    EXPECT_EQ(detector.state().card_name, "");
}

TEST_F(CardDetectorTest, VolumeWithoutDcimLeavesTheCardAlone)
{
    insert(volume("/media/card", true));
    const Lines shown = view.calls;
    insert(volume("/media/stick", false, "STICK"));
    EXPECT_EQ(view.calls, shown);
    EXPECT_EQ(log.runs, 1);
    EXPECT_EQ(log.state_changes, 1);
    EXPECT_EQ(detector.state().card_folder, "/media/card/DCIM");
}

TEST_F(CardDetectorTest, RemovalRescansAndNeverStartsARun)
{
    insert(volume("/media/a", true));
    insert(volume("/media/b", true));
    unmount("/media/b");
    detector.OnShellNotify(MediaEvent::Removed, "/media/b");
    EXPECT_EQ(detector.state().card_name, "/media/a/");
    EXPECT_EQ(view.status, "Press Start to begin");
    EXPECT_EQ(log.runs, 1);  // only the first insertion's

    unmount("/media/a");
    detector.OnShellNotify(MediaEvent::Removed, "/media/a");
    EXPECT_EQ(view.status, "Insert card or connect camera");
    EXPECT_EQ(view.card, "No image card mounted");
    EXPECT_FALSE(view.eject);
    EXPECT_EQ(detector.state().card_folder, "");
}

TEST_F(CardDetectorTest, EventWithoutPathIsIgnored)
{
    mount(volume("/media/card", true));
    detector.OnShellNotify(MediaEvent::Inserted, "");
    detector.OnShellNotify(MediaEvent::Removed, "");
    EXPECT_EQ(table->listings, 0);
    EXPECT_EQ(log.runs, 0);
}

TEST_F(CardDetectorTest, UnreadableVolumeListStartsNoRunOnTheOldCard)
{
    insert(volume("/media/card", true));
    ASSERT_EQ(log.runs, 1);
    table->scan = VolumeScan{false, {}, "cannot read /proc/self/mountinfo"};
    detector.OnShellNotify(MediaEvent::Inserted, "/media/other");
    EXPECT_EQ(log.runs, 1);
    EXPECT_EQ(log.failures, Lines{"cannot read /proc/self/mountinfo"});
    EXPECT_EQ(detector.state().card_name, "/media/card/");
    EXPECT_EQ(view.status, "Press Start to begin");
}

TEST_F(CardDetectorTest, MountTableChangesBecomeInsertionsThenRemovals)
{
    mount(volume("/media/a", false, {}, 2));
    mount(volume("/media/b", false, {}, 3));
    std::string error;
    ASSERT_TRUE(detector.start_watching(error)) << error;
    detector.mount_table_changed();
    EXPECT_TRUE(log.events.empty()) << "mounts present at the start are no events";

    unmount("/media/a");
    unmount("/media/b");
    mount(volume("/media/b", false, {}, 4));  // remounted: a new mount at the same place
    mount(volume("/media/c", true, {}, 5));
    detector.mount_table_changed();
    EXPECT_EQ(log.events, (Lines{"+/media/b", "+/media/c", "-/media/a", "-/media/b"}));
    EXPECT_EQ(detector.state().card_name, "/media/c/");
    EXPECT_EQ(log.runs, 1) << "a card inserted along with a removal still starts a run";
}

// A desktop user may read a card's label one time and not the next: the card then looks new to
// the scan, but only its own mount appearing may start a run.
TEST_F(CardDetectorTest, OnlyTheCardsOwnMountAppearingStartsARun)
{
    std::string error;
    ASSERT_TRUE(detector.start_watching(error)) << error;
    mount(volume("/media/card", true, {}, 2));
    detector.mount_table_changed();
    ASSERT_EQ(log.runs, 1);

    table->scan.volumes.back().label = "NIKON_D70";
    mount(volume("/media/stick", false, "STICK", 3));
    detector.mount_table_changed();
    EXPECT_EQ(view.card, "Image card mounted: /media/card/ (NIKON_D70)");
    table->scan.volumes[1].label.clear();
    insert(volume("/media/other", false, {}, 4));
    EXPECT_EQ(detector.state().card_name, "/media/card/");
    EXPECT_EQ(log.runs, 1);

    // Pulled and put back between two looks at the table: a mount of its own, a run of its own.
    unmount("/media/card");
    mount(volume("/media/card", true, {}, 5));
    detector.mount_table_changed();
    EXPECT_EQ(log.runs, 2);
}

TEST_F(CardDetectorTest, ChangeThatCannotBeReadIsReportedAndKeepsTheBaseline)
{
    std::string error;
    ASSERT_TRUE(detector.start_watching(error)) << error;
    const VolumeScan before = table->scan;
    table->scan = VolumeScan{false, {}, "gone"};
    detector.mount_table_changed();
    EXPECT_EQ(log.failures, Lines{"gone"});
    EXPECT_TRUE(log.events.empty());

    table->scan = before;
    mount(volume("/media/card", true, {}, 7));
    detector.mount_table_changed();
    EXPECT_EQ(log.events, Lines{"+/media/card"});
}

}  // namespace
}  // namespace oakvane
