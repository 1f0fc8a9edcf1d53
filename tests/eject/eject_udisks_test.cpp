// The disk-service client against a stand-in service on a private bus: which calls it makes,
// in which order, on which objects.

#include "eject_fixtures.h"
#include "eject_linux.h"
#include "eject_udisks.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

namespace oakvane {
namespace {

using namespace std::chrono_literals;
using Calls = std::vector<std::string>;

const std::string kManager = "/org/freedesktop/UDisks2/Manager";
const std::string kBlock = "/org/freedesktop/UDisks2/block_devices/standin0";
const std::string kDrive = "/org/freedesktop/UDisks2/drives/Standin_Card_Reader";
const std::string kUD = "org.freedesktop.UDisks2.";
const std::string kGet = " org.freedesktop.DBus.Properties.Get " + kUD;
const std::string kResolve = kManager + " " + kUD + "Manager.ResolveDevice";
const std::string kUnmount = kBlock + " " + kUD + "Filesystem.Unmount";
const std::string kGetDrive = kBlock + kGet + "Block.Drive";
const std::string kGetEjectable = kDrive + kGet + "Drive.Ejectable";
const std::string kGetCanPowerOff = kDrive + kGet + "Drive.CanPowerOff";
const std::string kEject = kDrive + " " + kUD + "Drive.Eject";

class UDisksEject : public ::testing::Test {
protected:
    UDisksEject() : m_bus(m_tmp.path())
    {
        test::ensure_qt_application();
        static int connections = 0;
        m_name = QString("eject-test-%1").arg(++connections);
        m_target.mount_point = "/media/standin";
        m_target.device.node = "/dev/standin0";
        m_target.device.disk_node = "/dev/standin";
        m_target.device.disk = makedev(4095, 4095);  // mounted nowhere
    }
    ~UDisksEject() override { QDBusConnection::disconnectFromBus(m_name); }

    void start(const std::vector<std::string>& options)
    {
        std::vector<std::string> all{"--device", "/dev/standin0"};
        all.insert(all.end(), options.begin(), options.end());
        // One service owns the name at a time, and each writes a log of its own.
        m_standin.reset();
        m_standin = std::make_unique<test::Standin>(
            m_bus, m_tmp / ("calls" + std::to_string(++m_started) + ".log"), all);
    }
    QDBusConnection bus() const
    {
        return QDBusConnection::connectToBus(QString::fromStdString(m_bus.address()), m_name);
    }
    EjectOutcome eject(const EjectRetry& retry = {3, 20ms})
    {
        const UDisksClient client(bus());
        EXPECT_TRUE(client.service_present());
        const EjectEnd end = eject_udisks(client, m_target, retry);
        m_detail = end.detail;
        return end.outcome;
    }
    Calls calls() const { return m_standin->calls(); }

    test::TempDir m_tmp;
    test::PrivateBus m_bus;
    std::unique_ptr<test::Standin> m_standin;
    int m_started = 0;
    QString m_name;
    EjectTarget m_target;
    std::string m_detail;
};

TEST_F(UDisksEject, UnmountsTheFilesystemThenEjectsTheDrive)
{
    start({});
    EXPECT_EQ(eject(), EjectOutcome::ejected);
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount, kGetDrive, kGetEjectable, kEject}));
}

TEST_F(UDisksEject, DriveThatCannotEjectIsPoweredOffOrLeftAlone)
{
    start({"--not-ejectable"});
    EXPECT_EQ(eject(), EjectOutcome::ejected);
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount, kGetDrive, kGetEjectable, kGetCanPowerOff,
                              kDrive + " " + kUD + "Drive.PowerOff"}));

    start({"--not-ejectable", "--no-power-off"});
    EXPECT_EQ(eject(), EjectOutcome::unmounted);
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount, kGetDrive, kGetEjectable, kGetCanPowerOff}));
}

TEST_F(UDisksEject, CardImageLoopIsDeleted)
{
    start({"--loop"});
    m_target.device.loop = true;
    m_target.device.disk_node = m_target.device.node;  // an image without partitions
    EXPECT_EQ(eject(), EjectOutcome::ejected);
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount, kBlock + " " + kUD + "Loop.Delete"}));
}

// The partition's object has no loop interface: the image goes with its loop device.
TEST_F(UDisksEject, PartitionedCardImageIsDetachedThroughItsLoopDevice)
{
    start({"--loop", "--partition-of", "/dev/standin"});
    m_target.device.loop = true;
    EXPECT_EQ(eject(), EjectOutcome::ejected) << m_detail;
    const std::string loop = "/org/freedesktop/UDisks2/block_devices/standin";
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount, kResolve, loop + " " + kUD + "Loop.Delete"}));

    start({"--loop"});  // the service does not know the loop device
    EXPECT_EQ(eject(), EjectOutcome::unmounted);
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount, kResolve}));
    EXPECT_EQ(m_detail, "Cannot find /dev/standin: unknown to the disk service");
}

TEST_F(UDisksEject, BusyFilesystemIsRetriedThenLeftAlone)
{
    start({"--busy", "2"});
    EXPECT_EQ(eject(), EjectOutcome::ejected);
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount, kUnmount, kUnmount, kGetDrive, kGetEjectable,
                              kEject}));

    start({"--busy", "100"});
    EXPECT_EQ(eject(), EjectOutcome::busy);
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount, kUnmount, kUnmount}));
}

TEST_F(UDisksEject, RefusalsStopAtTheStepRefused)
{
    start({"--unmount-error", kUD + "Error.NotAuthorizedCanObtain"});
    EXPECT_EQ(eject(), EjectOutcome::failed);
    EXPECT_EQ(calls(), (Calls{kResolve, kUnmount}));
    EXPECT_EQ(m_detail, "Cannot unmount /media/standin: stand-in error");

    start({"--eject-error", kUD + "Error.Failed"});
    EXPECT_EQ(eject(), EjectOutcome::unmounted);
    EXPECT_EQ(calls().back(), kEject);
    EXPECT_EQ(m_detail, "Cannot eject: stand-in error");

    start({});
    m_target.device.node = "/dev/unknown0";
    EXPECT_EQ(eject(), EjectOutcome::failed);
    EXPECT_EQ(calls(), (Calls{kResolve}));
}

// The choice of way with a real card: the service when it is on the bus, else the kernel.
class EjectChoice : public UDisksEject {
protected:
    void SetUp() override
    {
        std::string why;
        m_card = test::LoopCard::create(m_tmp.path(), why);
        if (!m_card)
            GTEST_SKIP() << why;
    }
    std::unique_ptr<test::LoopCard> m_card;
};

TEST_F(EjectChoice, ServiceOnTheBusDoesTheEject)
{
    m_standin = std::make_unique<test::Standin>(
        m_bus, m_tmp / "calls.log",
        std::vector<std::string>{"--device", m_card->loop(), "--loop", "--really-unmount",
                                 "--mount-point", m_card->mount_point()});
    EXPECT_EQ(eject_volume_on(m_card->mount_point(), bus(), {3, 20ms}).result, CardEject::done);
    EXPECT_FALSE(test::is_mounted(m_card->mount_point()));
    const std::string block = "/org/freedesktop/UDisks2/block_devices/" +
                              std::filesystem::path(m_card->loop()).filename().string();
    EXPECT_EQ(calls(), (Calls{kResolve, block + " " + kUD + "Filesystem.Unmount",
                              block + " " + kUD + "Loop.Delete"}));
    // The stand-in deletes nothing, so the image is still attached: the kernel was not asked.
    EXPECT_TRUE(m_card->attached());
}

TEST_F(EjectChoice, WithoutTheServiceTheKernelEjects)
{
    const EjectReport report = eject_volume_on(m_card->mount_point(), bus(), {3, 20ms});
    EXPECT_EQ(report.result, CardEject::done);
    EXPECT_EQ(report.reason, "Media in " + m_card->mount_point() + " has been ejected safely.");
    EXPECT_FALSE(test::is_mounted(m_card->mount_point()));
    EXPECT_TRUE(m_card->detached_within_seconds(20));
}

}  // namespace
}  // namespace oakvane
