// Reading the mount table and the kernel's device tree, on texts and trees made up here.

#include "eject.h"
#include "eject_mountinfo.h"
#include "eject_sysfs.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

namespace oakvane {
namespace {

namespace fs = std::filesystem;

TEST(MountTable, FindsTheVisibleMountWithEscapedPaths)
{
    test::TempDir dir;
    test::write_file(dir.path() / "mountinfo",
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "45 27 7:0 / /media/My\\040Card rw shared:1 master:2 - vfat /dev/loop0 rw\n"
        "46 45 0:50 / /media/My\\040Card rw - tmpfs tmpfs rw\n"
        "47 27 8:17 / /mnt/back\\134slash rw - ext2 /dev/sdb1 rw\n");
    const auto mounts = read_mountinfo(dir / "mountinfo");
    ASSERT_EQ(mounts.size(), 4u);
    EXPECT_EQ(mounts[1].fs_type, "vfat");

    const auto stacked = find_mount(mounts, "/media//My Card/");
    ASSERT_TRUE(stacked);
    EXPECT_EQ(stacked->device, makedev(0, 50));
    const auto escaped = find_mount(mounts, "/mnt/back\\slash");
    ASSERT_TRUE(escaped);
    EXPECT_EQ(escaped->device, makedev(8, 17));
    EXPECT_EQ(find_mount(mounts, "/")->device, makedev(254, 0));
    EXPECT_FALSE(find_mount(mounts, "/media"));
    EXPECT_FALSE(find_mount(mounts, ""));
}

TEST(CardFolder, NamesTheMountPointAboveIt)
{
    EXPECT_EQ(card_mount_point("/media/photo/CARD/DCIM"), "/media/photo/CARD");
    EXPECT_EQ(card_mount_point("/media/photo/CARD/DCIM/"), "/media/photo/CARD");
    EXPECT_EQ(card_mount_point("/DCIM"), "/");
    EXPECT_EQ(eject_card_report("").result, CardEject::no_card);
    EXPECT_EQ(eject_card_report("/").result, CardEject::no_card);
}

// A device tree in the kernel's shape: device folders with "subsystem" links naming their bus,
// block folders with dev, removable and uevent, partitions inside their disk.
class DeviceTree : public ::testing::Test {
protected:
    fs::path disk(const std::string& path, const std::string& number, const std::string& removable)
    {
        const fs::path dir = m_tmp.path() / "devices" / path;
        fs::create_directories(dir);
        test::write_file(dir / "dev", number + "\n");
        test::write_file(dir / "removable", removable + "\n");
        test::write_file(dir / "uevent", "DEVNAME=" + dir.filename().string() + "\n");
        fs::create_directories(m_tmp.path() / "dev/block");
        fs::create_symlink(dir, m_tmp.path() / "dev/block" / number);
        return dir;
    }
    void partition(const fs::path& disk, const std::string& name, const std::string& number)
    {
        const fs::path dir = this->disk((disk / name).lexically_relative(m_tmp.path() / "devices").string(),
                                        number, "0");
        test::write_file(dir / "partition", "1\n");
    }
    void bus(const std::string& path, const std::string& bus_name)
    {
        fs::create_directories(m_tmp.path() / "devices" / path);
        fs::create_symlink("../../bus/" + bus_name, m_tmp.path() / "devices" / path / "subsystem");
    }
    std::optional<BlockDevice> lookup(unsigned major, unsigned minor)
    {
        return read_block_device(makedev(major, minor), m_tmp.path());
    }

    test::TempDir m_tmp;
};

TEST_F(DeviceTree, UsbCardReaderPartitionIsEjectedThroughItsDisk)
{
    bus("pci0000:00/0000:00:14.0/usb2/2-1", "usb");
    bus("pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6", "scsi");
    partition(disk("pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/sdb", "8:16", "0"),
              "sdb1", "8:17");
    const auto device = lookup(8, 17);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->node, "/dev/sdb1");
    EXPECT_EQ(device->disk_node, "/dev/sdb");
    EXPECT_EQ(device->disk, makedev(8, 16));
    EXPECT_TRUE(device->usb_or_mmc);
    EXPECT_FALSE(device->loop);
    EXPECT_TRUE(may_eject(*device));
}

TEST_F(DeviceTree, AcceptsSdCardsRemovableDisksAndLoopsButNotFixedDisks)
{
    bus("platform/soc/mmc_host/mmc0", "../class/mmc_host");
    bus("platform/soc/mmc_host/mmc0/mmc0:aaaa", "mmc");
    disk("platform/soc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0", "179:0", "0");
    // Removability is the disk's, not the partition's.
    partition(disk("pci0000:00/0000:00:1f.2/ata2/host1/block/sdc", "8:32", "1"), "sdc1", "8:33");
    fs::create_directories(disk("virtual/block/loop3", "7:3", "0") / "loop");
    bus("pci0000:00/0000:00:1f.2/ata1/host0", "scsi");
    partition(disk("pci0000:00/0000:00:1f.2/ata1/host0/block/sda", "8:0", "0"), "sda1", "8:1");
    disk("pci0000:00/0000:00:02.0/virtio1/block/vda", "254:0", "0");

    EXPECT_TRUE(may_eject(*lookup(179, 0)));
    EXPECT_TRUE(may_eject(*lookup(8, 33)));
    EXPECT_TRUE(lookup(7, 3)->loop);
    EXPECT_TRUE(may_eject(*lookup(7, 3)));
    EXPECT_FALSE(may_eject(*lookup(8, 1)));
    EXPECT_FALSE(may_eject(*lookup(254, 0)));
    EXPECT_FALSE(lookup(0, 50));
}

}  // namespace
}  // namespace oakvane
