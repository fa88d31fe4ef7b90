#include <gtest/gtest.h>

#include <stdexcept>

#include "FixtureDeviceTree.h"
#include "ports/PortMapping.h"
#include "ports/SerialPorts.h"

using namespace gf;
using namespace gf::test;

TEST(FixtureDeviceTree, BenchTextGivesTheSameFormsAsTheSysfsBackend) {
    // The sysfs fixture's composite device at socket 3 of root hub usb1.
    FixtureDeviceTree tree(R"(# one device, two modes over time
        hub usb1
        diag usb1:3 COM2   # diagnostic interface
    )");
    CPortMapping map(&tree);
    PhysicalAddress address = {};
    MappingError error = {};
    ASSERT_TRUE(map.GetPhysicalPortAddress(address, error, "(COM2)"));
    EXPECT_STREQ(address, "USB\\ROOT_HUB20\\4&977676F0&0&0\\PORT3");

    std::vector<SSerInfo> list;
    tree.Set("hub usb1\n usb usb1:5 COM9 vid=0403 pid=6001 mfr=FTDI product=\"FT232R USB UART\"\n");
    ListSerialPorts(tree, list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].strFriendlyName, "FTDI FT232R USB UART ttyUSB0 (COM9)");
    EXPECT_EQ(list[0].strHardwareId, "USB\\VID_0403&PID_6001&REV_0318");
}

TEST(FixtureDeviceTree, UnreadableLinesAreRefused) {
    for (const char* bad :
         {"hub\n", "diag H:3 COM7\n", "hub H\n diag H3 COM7\n", "hub H\n qdl H:3 7\n",
          "hub H\n usb H:1 COM1 vid=xyz pid=1\n", "gadget G\n", "port COM1 name=\"open\n"}) {
        EXPECT_THROW(FixtureDeviceTree{bad}, std::invalid_argument) << bad;
    }
}
