// The Linux volume list over a written mount table, and labels from by-label links.

#include "linux/volume_label.h"
#include "linux/volumes_linux.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>

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
    fs::create_directories(dir("unpacked/DCIM"));
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
        "42 30 7:0 / " + dir("card") + " rw - ext2 /dev/oakvane-card rw\n"
        "43 30 7:1 / " + dir("with\\040space") + " rw - ext2 /dev/oakvane-space rw\n"
        "44 30 7:2 / " + dir("flat") + " rw - ext2 /dev/oakvane-flat rw\n"
        "45 30 0:55 / " + dir("unpacked") + " rw - tmpfs tmpfs rw\n");
    ASSERT_TRUE(scan.ok) << scan.error;
    EXPECT_EQ(mount_points(scan),
              (std::vector<std::string>{"/", dir("card"), dir("with space"), dir("flat")}));
    const Volume* card = find(scan, dir("card"));
    ASSERT_TRUE(card);
    EXPECT_TRUE(card->has_dcim);
    EXPECT_EQ(card->fs_type, "ext2");
    EXPECT_EQ(card->device, "/dev/oakvane-card");
    EXPECT_EQ(card->label, "");
    EXPECT_EQ(card->mount_id, 42);
    EXPECT_FALSE(find(scan, dir("with space"))->has_dcim) << "the name must be exactly DCIM";
    EXPECT_FALSE(find(scan, dir("flat"))->has_dcim) << "a file named DCIM is no card";
}

// One mount of each kind at a folder holding DCIM: whether it is listed as a volume at all.
struct FilterCase {
    const char* name;
    std::string fs_type;
    std::string source;
    std::string options;  // the file system's own options, as the table shows them
    bool listed;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class VolumeFilterTable : public ::testing::TestWithParam<FilterCase> {
protected:
    test::TempDir m_tmp;
};

TEST_P(VolumeFilterTable, ListsOnlyVolumesThatHoldUserFilesLocally)
{
    const FilterCase& c = GetParam();
    const std::string point = m_tmp / "volume";
    fs::create_directories(point + "/DCIM");
    test::write_file(m_tmp / "mountinfo", "30 1 259:2 / " + point + " rw,relatime - " +
                                              c.fs_type + " " + c.source + " " + c.options +
                                              "\n");
    const VolumeScan scan =
        make_mountinfo_volume_source(m_tmp / "mountinfo", m_tmp / "by-label")->list_volumes();
    ASSERT_TRUE(scan.ok) << scan.error;
    EXPECT_EQ(scan.volumes.size(), c.listed ? 1u : 0u) << c.fs_type << " " << c.options;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, VolumeFilterTable,
    ::testing::Values(
        FilterCase{"Ext4", "ext4", "/dev/sdb1", "rw", true},
        FilterCase{"Vfat", "vfat", "/dev/sdb1", "rw,fmask=0022", true},
        FilterCase{"Exfat", "exfat", "/dev/mmcblk0p1", "rw", true},
        FilterCase{"NtfsThroughFuse", "fuseblk", "/dev/sdb1", "rw,user_id=0", true},
        // An archive unpacked in a /tmp that lives in memory is no card.
        FilterCase{"Tmpfs", "tmpfs", "tmpfs", "rw,size=1024k", false},
        FilterCase{"Ramfs", "ramfs", "ramfs", "rw", false},
        FilterCase{"Proc", "proc", "proc", "rw", false},
        FilterCase{"Nfs", "nfs", "server:/export", "rw,addr=10.0.0.1", false},
        FilterCase{"Nfs4", "nfs4", "server:/export", "rw,addr=10.0.0.1", false},
        FilterCase{"Cifs", "cifs", "//server/share", "rw", false},
        FilterCase{"Smb3", "smb3", "//server/share", "rw", false},
        FilterCase{"Ceph", "ceph", "10.0.0.1:6789:/", "rw,name=admin", false},
        FilterCase{"Davfs", "davfs", "https://dav.example/", "rw", false},
        FilterCase{"FuseDavfs2", "fuse.davfs2", "https://dav.example/", "rw,user_id=0", false},
        FilterCase{"FuseRclone", "fuse.rclone", "remote:", "rw,user_id=0", false},
        FilterCase{"FuseS3fs", "fuse.s3fs", "s3fs", "rw,user_id=0", false},
        FilterCase{"FuseGlusterfs", "fuse.glusterfs", "server:/vol", "rw,user_id=0", false},
        FilterCase{"Glusterfs", "glusterfs", "server:/vol", "rw", false},
        FilterCase{"FuseSshfs", "fuse.sshfs", "ann@server:", "rw,user_id=0", false},
        // A local file system type on a disk that is reached over the network.
        FilterCase{"Ext4OnNetworkDisk", "ext4", "/dev/sdc1", "rw,_netdev", false},
        FilterCase{"NetdevAmongOthers", "xfs", "/dev/sdc1", "rw,noatime,_netdev,attr2", false}),
    [](const auto& info) { return info.param.name; });

// Sets an environment variable for the scope of a test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// mount(8) keeps "_netdev" in its own table beside the kernel's, which is where a volume
// mounted with it at start-up carries it.
TEST_F(MountInfoTest, NetdevKeptBesideTheKernelTableLeavesTheVolumeOut)
{
    fs::create_directories(dir("iscsi/DCIM"));
    fs::create_directories(dir("local/DCIM"));
    test::write_file(m_tmp / "utab", "SRC=/dev/sdc1 TARGET=" + dir("iscsi") +
                                         " ROOT=/ OPTS=_netdev\n");
    const ScopedEnv utab("LIBMOUNT_UTAB", m_tmp / "utab");
    const VolumeScan scan =
        list("30 1 8:33 / " + dir("iscsi") + " rw,relatime - ext4 /dev/sdc1 rw\n"
             "31 1 8:17 / " + dir("local") + " rw,relatime - ext4 /dev/sdb1 rw\n");
    ASSERT_TRUE(scan.ok) << scan.error;
    EXPECT_EQ(mount_points(scan), std::vector<std::string>{dir("local")});
}

TEST_F(MountInfoTest, NetworkMountStackedOnACardStillHidesIt)
{
    fs::create_directories(dir("card/DCIM"));
    const VolumeScan scan =
        list("42 1 7:0 / " + dir("card") + " rw - ext2 /dev/oakvane-card rw\n"
             "43 42 0:52 / " + dir("card") + " rw - fuse.sshfs ann@server: rw,user_id=0\n");
    ASSERT_TRUE(scan.ok) << scan.error;
    EXPECT_TRUE(scan.volumes.empty()) << scan.volumes.front().mount_point;
}

TEST_F(MountInfoTest, MountStackedOnAnotherHidesIt)
{
    fs::create_directories(dir("card/DCIM"));
    const VolumeScan scan = list("42 1 7:0 / " + dir("card") + " rw - ext2 /dev/oakvane-under rw\n"
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

TEST_F(MountInfoTest, OnlyVolumesHoldingDcimAreLabelled)
{
    // A label may be read from the device itself: the volumes that are no card, the system
    // disk among them, must not be read on every change of the mount table.
    test::write_file(dir("dev/sdb1"), "");
    test::write_file(dir("dev/sdc1"), "");
    fs::create_directories(dir("by-label"));
    fs::create_symlink(dir("dev/sdb1"), dir("by-label/NIKON_D70"));
    fs::create_symlink(dir("dev/sdc1"), dir("by-label/STICK"));
    fs::create_directories(dir("card/DCIM"));
    fs::create_directories(dir("stick/photos"));
    const VolumeScan scan =
        list("30 1 8:17 / " + dir("card") + " rw - ext2 " + dir("dev/sdb1") + " rw\n"
             "31 1 8:33 / " + dir("stick") + " rw - ext2 " + dir("dev/sdc1") + " rw\n");
    ASSERT_TRUE(scan.ok) << scan.error;
    ASSERT_EQ(mount_points(scan), (std::vector<std::string>{dir("card"), dir("stick")}));
    EXPECT_EQ(find(scan, dir("card"))->label, "NIKON_D70");
    EXPECT_EQ(find(scan, dir("stick"))->label, "");
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
