// The Linux volume list over a written mount table, and labels from by-label links.

#include "linux/volume_label.h"
#include "linux/volumes_linux.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace oakvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> mount_points(const VolumeScan& scan)
{
    std::vector<std::string> points;
    for (const Volume& v : scan.volumes)
        points.push_back(v.mount_point);
    return points;
}

const Volume* find(const VolumeScan& scan, const std::string& mount_point)
{
    for (const Volume& v : scan.volumes)
        if (v.mount_point == mount_point)
            return &v;
    return nullptr;
}

class MountInfoTest : public ::testing::Test {
protected:
    std::string dir(const std::string& name) const { return m_tmp / name; }
    VolumeScan list(const std::string& table)
    {
        test::write_file(m_tmp / "mountinfo", table);
        return make_mountinfo_volume_source(m_tmp / "mountinfo", m_tmp / "by-label")->list_volumes();
    }

    test::TempDir m_tmp;
};

TEST_F(MountInfoTest, LeavesOutPseudoAndNetworkFileSystems)
{
    fs::create_directories(dir("card/DCIM"));
    fs::create_directories(dir("with space/dcim"));
    fs::create_directories(dir("flat"));
    test::write_file(dir("flat/DCIM"), "a file, not a folder");
    const VolumeScan scan = list(
        "21 1 0:20 / /proc rw,nosuid shared:12 - proc proc rw\n"
        "22 1 0:21 / /sys rw shared:2 - sysfs sysfs rw\n"
        "23 22 0:22 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
        "24 1 0:5 / /dev rw - devtmpfs udev rw,size=1024k\n"
        "30 1 259:2 / / rw,relatime shared:1 - ext4 /dev/oakvane-none rw\n"
        "40 30 0:50 / /mnt/nfs rw shared:30 - nfs4 server:/export rw,addr=127.0.0.1\n"
        "41 30 0:51 / /mnt/smb rw - cifs //server/share rw\n"
        "42 30 0:52 / " + dir("card") + " rw - tmpfs tmpfs rw\n"
        "43 30 0:53 / " + dir("with\\040space") + " rw - tmpfs tmpfs rw\n"
        "44 30 0:54 / " + dir("flat") + " rw - tmpfs tmpfs rw\n");
    ASSERT_TRUE(scan.ok) << scan.error;
    EXPECT_EQ(mount_points(scan),
              (std::vector<std::string>{"/", dir("card"), dir("with space"), dir("flat")}));
    const Volume* card = find(scan, dir("card"));
    ASSERT_TRUE(card);
    EXPECT_TRUE(card->has_dcim);
    EXPECT_EQ(card->fs_type, "tmpfs");
    EXPECT_EQ(card->device, "tmpfs");
    EXPECT_EQ(card->label, "");
    EXPECT_EQ(card->mount_id, 42);
    EXPECT_FALSE(find(scan, dir("with space"))->has_dcim) << "the name must be exactly DCIM";
    EXPECT_FALSE(find(scan, dir("flat"))->has_dcim) << "a file named DCIM is no card";
}

TEST_F(MountInfoTest, MountStackedOnAnotherHidesIt)
{
    fs::create_directories(dir("card/DCIM"));
    const VolumeScan scan = list("42 1 0:51 / " + dir("card") + " rw - tmpfs tmpfs rw\n"
                                 "50 1 0:60 / /other rw - ext2 /dev/oakvane-none rw\n"
                                 "51 42 0:61 / " + dir("card") + " rw - ext2 /dev/oakvane-x rw\n");
    ASSERT_TRUE(scan.ok) << scan.error;
    EXPECT_EQ(mount_points(scan), (std::vector<std::string>{dir("card"), "/other"}));
    EXPECT_EQ(scan.volumes[0].mount_id, 51);
    EXPECT_EQ(scan.volumes[0].device, "/dev/oakvane-x");
}

TEST_F(MountInfoTest, UnreadableTableIsAnError)
{
    const VolumeScan scan =
        make_mountinfo_volume_source(m_tmp / "missing", m_tmp / "by-label")->list_volumes();
    EXPECT_FALSE(scan.ok);
    EXPECT_NE(scan.error.find(m_tmp / "missing"), std::string::npos) << scan.error;
}

TEST_F(MountInfoTest, LabelComesFromTheLinkThatLeadsToTheDevice)
{
    // Regular files stand in for device nodes: the links are matched by what they reach.
    test::write_file(dir("dev/sdb1"), "");
    test::write_file(dir("dev/sdc1"), "");
    fs::create_directories(dir("by-label"));
    fs::create_symlink(dir("dev/sdc1"), dir("by-label/OTHER"));
    fs::create_symlink("../dev/sdb1", dir("by-label/EOS\\x20DIGITAL"));
    fs::create_symlink(dir("dev/none"), dir("by-label/DANGLING"));
    EXPECT_EQ(volume_label(dir("dev/sdb1"), dir("by-label")), "EOS DIGITAL");
    EXPECT_EQ(volume_label(dir("dev/sdc1"), dir("by-label")), "OTHER");
    EXPECT_EQ(volume_label(dir("dev/sdd1"), dir("by-label")), "");
    // No link and no block device to read: no label, and nothing is opened.
    EXPECT_EQ(volume_label("tmpfs", dir("by-label")), "");
    EXPECT_EQ(volume_label(dir("dev/sdb1"), dir("no-such-dir")), "");
}

TEST(LabelLinkName, DecodesUdevEscapes)
{
    EXPECT_EQ(decode_label_link_name("NIKON_D70"), "NIKON_D70");
    EXPECT_EQ(decode_label_link_name("EOS\\x20DIGITAL"), "EOS DIGITAL");
    EXPECT_EQ(decode_label_link_name("a\\x2fb\\x5c"), "a/b\\");
    EXPECT_EQ(decode_label_link_name("bad\\xZZ\\x2"), "bad\\xZZ\\x2");
}

}  // namespace
}  // namespace oakvane
