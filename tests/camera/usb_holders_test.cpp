// A camera that can't be claimed is explained by who holds its device node: a process found
// holding it by its open descriptors, the advice naming gvfs when it is the holder.

#include "process.h"
#include "temp_dir.h"
#include "usb_holders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace oakvane::camera {
namespace {

TEST(UsbHolders, PortsNameTheirDeviceNodesAndOtherPortsNone)
{
    EXPECT_EQ(usb_device_node("usb:001,005"), "/dev/bus/usb/001/005");
    EXPECT_EQ(usb_device_node("usb:"), "");
    EXPECT_EQ(usb_device_node("ptpip:192.168.1.20"), "");
    EXPECT_EQ(usb_device_node("disk:/media/card"), "");
}

TEST(UsbHolders, TheProcessThatHoldsTheNodeIsFoundByNameButNotThisOne)
{
    test::TempDir tmp;
    const std::string node = (tmp.path() / "005").string();
    std::ofstream(node) << "device";
    const int own = ::open(node.c_str(), O_RDONLY);
    ASSERT_GE(own, 0);
    EXPECT_TRUE(processes_holding(node).empty()) << "this process counted itself";

    test::Process holder({"/bin/sh", "-c", "exec 3<\"$0\"; exec sleep 30", node});
    std::vector<Holder> found;
    for (int tries = 0; tries < 100 && found.empty(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        found = processes_holding(node);
    }
    holder.send_signal(SIGKILL);
    holder.wait();
    ::close(own);

    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].pid, holder.pid());
    EXPECT_EQ(found[0].name, "sleep");
    const std::string advice = held_camera_advice("usb:001,005", {{found[0].pid, "gvfsd-gphoto2"}});
    EXPECT_NE(advice.find("gvfsd-gphoto2 (process " + std::to_string(found[0].pid) + ")"), std::string::npos);
    EXPECT_NE(advice.find("gio mount -u \"gphoto2://[usb:001,005]/\""), std::string::npos) << advice;
}

}  // namespace
}  // namespace oakvane::camera
