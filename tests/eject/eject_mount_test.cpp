// Ejecting real cards with the kernel's calls: loop-mounted ext2 images stand for cards.

#include "eject.h"
#include "eject_fixtures.h"
#include "eject_linux.h"
#include "eject_waiting.h"
#include "temp_dir.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace oakvane {
namespace {

using namespace std::chrono_literals;

// Open file inside a card keeps it busy until released.
class OpenFile {
public:
    explicit OpenFile(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~OpenFile() { release(); }
    void release()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

class EjectMount : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensure_qt_application();
        std::string why;
        m_card = test::LoopCard::create(m_tmp.path(), why);
        if (!m_card)
            GTEST_SKIP() << why;
    }
    // Through the kernel's calls whatever runs on this machine: the connection leads to no bus
    // at all, so the disk service is not there. The public entry points would ask the system
    // bus, and on a desktop the real service would do the eject instead.
    int eject(const EjectRetry& retry = EjectRetry{})
    {
        const EjectReport report =
            eject_volume_on(m_card->mount_point(), QDBusConnection("eject-no-bus"), retry);
        m_reason = report.reason;
        return report.result == CardEject::done ? 1 : 0;
    }
    std::string file() const { return m_card->mount_point() + "/DCIM/IMG_0001.JPG"; }

    test::TempDir m_tmp;  // first, so that it outlives the mounts inside it
    std::unique_ptr<test::LoopCard> m_card;
    std::string m_reason;
};

TEST_F(EjectMount, CardIsUnmountedAndItsImageDetached)
{
    EXPECT_EQ(eject(), 1);
    EXPECT_FALSE(test::is_mounted(m_card->mount_point()));
    EXPECT_TRUE(m_card->detached_within_seconds(20));
}

// The rest of the machine must not see the test cards: a desktop's disk service or file
// manager would probe them and could keep them busy while a test ejects them.
TEST_F(EjectMount, CardIsOutOfSightOfOtherProcesses)
{
    std::ifstream init_mounts("/proc/1/mountinfo");
    if (!init_mounts)
        GTEST_SKIP() << "the mount table of process 1 cannot be read";
    const std::string table{std::istreambuf_iterator<char>(init_mounts), {}};
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table.find(" " + m_card->mount_point() + " "), std::string::npos)
        << m_card->mount_point() << " is mounted where process 1 sees it";
}

TEST_F(EjectMount, CardFreedDuringTheRetriesIsEjected)
{
    OpenFile held(file());
    ASSERT_TRUE(held.ok());
    std::thread releaser([&] {
        std::this_thread::sleep_for(300ms);
        held.release();
    });
    const int result = eject({100, 100ms});
    releaser.join();
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(test::is_mounted(m_card->mount_point()));
    EXPECT_TRUE(m_card->detached_within_seconds(20));
}

TEST_F(EjectMount, BusyCardIsRetriedForAboutTenSeconds)
{
    OpenFile held(file());
    ASSERT_TRUE(held.ok());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(eject(), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 9s);
    EXPECT_EQ(m_reason, "Media in " + m_card->mount_point() + " is in use and was left mounted.");
    EXPECT_TRUE(test::is_mounted(m_card->mount_point()));
    EXPECT_TRUE(m_card->attached());
}

// The window waits for an eject in an event loop of its own, which serves its queued work
// meanwhile: here the work that lets go of the card, so the eject does not stay busy.
TEST_F(EjectMount, WaitingEjectServesQueuedEventsWhileItWaits)
{
    if (QDBusConnection::systemBus().isConnected())
        GTEST_SKIP() << "a disk service on the system bus would be asked, and the test cards are "
                        "hidden from it";
    OpenFile held(file());
    ASSERT_TRUE(held.ok());
    QTimer::singleShot(300ms, [&] { held.release(); });
    const EjectReport report = eject_card_waiting(m_card->mount_point() + "/DCIM");
    EXPECT_EQ(report.result, CardEject::done);
    EXPECT_EQ(report.reason, "Media in " + m_card->mount_point() + " has been ejected safely.");
    EXPECT_FALSE(test::is_mounted(m_card->mount_point()));
}

TEST_F(EjectMount, CardMountedTwiceIsUnmountedHereButNotDetached)
{
    const std::string other = m_tmp / "other";
    ASSERT_TRUE(m_card->mount_also(other));
    EXPECT_EQ(eject({3, 50ms}), 1);
    EXPECT_FALSE(test::is_mounted(m_card->mount_point()));
    EXPECT_TRUE(test::is_mounted(other));
    EXPECT_TRUE(m_card->attached());
    EXPECT_EQ(m_card->autoclear(), "0");
}

// A station run as a hardened service has a mount namespace of its own: the card may still be
// mounted in another one, out of sight of this process's table.
TEST_F(EjectMount, CardStillMountedInAnotherNamespaceIsNotEjected)
{
    test::Process other({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh",
                         "-c", "echo ready; exec sleep 120"});
    for (int i = 0; i < 100 && other.poll_out(100).find("ready") == std::string::npos; ++i) {
    }
    ASSERT_NE(other.poll_out(0).find("ready"), std::string::npos) << "unshare did not start";
    EXPECT_EQ(eject({3, 50ms}), 1);
    EXPECT_EQ(m_reason, "Media in " + m_card->mount_point() +
                            " was unmounted, but its disk is still in use elsewhere.");
    EXPECT_FALSE(test::is_mounted(m_card->mount_point()));
    EXPECT_TRUE(m_card->attached());
    EXPECT_EQ(m_card->autoclear(), "0");
    other.send_signal(SIGKILL);
    other.wait();
}

// A Raspberry Pi boots from an SD card, a laptop from eMMC: the disk that holds the system or
// the users' homes is no card, whatever its bus. Mounted over /home only in the tests' own
// mount namespace.
TEST_F(EjectMount, DiskHoldingHomeIsNeverEjected)
{
    ASSERT_TRUE(m_card->mount_also("/home")) << std::strerror(errno);
    EXPECT_EQ(eject({3, 50ms}), 0);
    EXPECT_EQ(m_reason, "Cannot eject " + m_card->mount_point() + ": " + m_card->loop() +
                            " holds /home.");
    EXPECT_TRUE(test::is_mounted(m_card->mount_point()));
    EXPECT_TRUE(m_card->attached());
}

// The public entry points: what they refuse is refused before the disk service is asked, so
// these hold on a desktop where the service runs too.
TEST(EjectRefused, SystemDiskTmpfsAndPlainFoldersAreRefused)
{
    test::TempDir tmp;
    EXPECT_EQ(eject_volume_report("/").result, CardEject::refused);
    EXPECT_EQ(eject_volume_report(tmp.str()).result, CardEject::refused);
    EXPECT_EQ(eject_volume_report(tmp / "missing").result, CardEject::refused);
    const EjectReport refused = eject_card_report(tmp / "DCIM");
    EXPECT_EQ(refused.result, CardEject::refused);
    EXPECT_EQ(refused.reason, "Cannot eject " + tmp.str() + ": not a mount point.");
    test::ensure_qt_application();
    const EjectReport waited = eject_card_waiting(tmp / "DCIM");
    EXPECT_EQ(waited.result, refused.result);
    EXPECT_EQ(waited.reason, refused.reason);
    EXPECT_EQ(eject_card_report("/").result, CardEject::no_card);

    std::string why;
    auto tmpfs = test::TmpfsMount::create(tmp.path(), why);
    if (!tmpfs)
        GTEST_SKIP() << why;
    EXPECT_EQ(eject_card_report(tmpfs->mount_point() + "/DCIM").result, CardEject::refused);
    EXPECT_TRUE(test::is_mounted(tmpfs->mount_point()));
}

}  // namespace
}  // namespace oakvane
