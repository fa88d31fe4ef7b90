#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "FixtureDeviceTree.h"
#include "ports/PortMapping.h"
#include "ports/UsbNaming.h"

using namespace gf;
using namespace gf::test;

namespace {

// The job's buffers, as the hand-over steps hold them.
struct Buffers {
    PhysicalAddress address = {};
    MappingError error = {};
    PortText port = {};
};

const std::string kHub = RootHubInstanceId("H", false);

}  // namespace

TEST(PortMapping, DiagAndDownloadPortAtOneSocketShareTheHubFormAddress) {
    FixtureDeviceTree tree("hub H\n diag H:3 COM7\n");
    CPortMapping map(&tree);
    Buffers b;
    ASSERT_TRUE(map.GetPhysicalPortAddress(b.address, b.error, "(COM7)"));
    EXPECT_EQ(std::string(b.address), kHub + "\\PORT3");

    // The device re-enumerates in download mode at the same socket.
    tree.Set("hub H\n qdl H:3 COM12\n");
    ASSERT_TRUE(map.GetPortAfterPowerCycleByPhysicalAddress(b.port, b.error, b.address));
    EXPECT_STREQ(b.port, "12)");
    EXPECT_STREQ(b.error, "");
}

TEST(PortMapping, ComTagNeedsItsClosingBracket) {
    FixtureDeviceTree tree("hub H\n diag H:3 COM12\n");
    CPortMapping map(&tree);
    Buffers b;
    EXPECT_FALSE(map.GetPhysicalPortAddress(b.address, b.error, "(COM1)"));
    EXPECT_FALSE(map.GetLocationPath(b.address, b.error, "(COM1)"));
    EXPECT_STREQ(b.address, "");
    EXPECT_TRUE(map.GetPhysicalPortAddress(b.address, b.error, "(COM12)"));
}

TEST(PortMapping, SerialNumberDeviceFallsBackToTheLocationPath) {
    FixtureDeviceTree tree("hub H\n diag H:3 COM7 serial=8a4f21c0\n");
    CPortMapping map(&tree);
    Buffers b;
    EXPECT_FALSE(map.GetPhysicalPortAddress(b.address, b.error, "(COM7)"));
    ASSERT_TRUE(map.GetLocationPath(b.address, b.error, "(COM7)"));
    EXPECT_STREQ(b.address, "USBROOT(1)#USB(3)#USBMI(0)");

    tree.Set("hub H\n qdl H:3 COM12 serial=8a4f21c0\n");
    // The hub-form look-up fails quietly on a location path...
    EXPECT_FALSE(map.GetPortAfterPowerCycleByPhysicalAddress(b.port, b.error, b.address));
    EXPECT_STREQ(b.port, "");
    // ...and the location-path look-up finds the device's own, shorter path.
    ASSERT_TRUE(map.GetPortAfterPowerCycleByLocationPath(b.address, b.error, b.port));
    EXPECT_STREQ(b.port, "12)");

    // A hub-form address has no '#' and never matches by location path.
    const std::string hubForm = kHub + "\\PORT3";
    PortText port = {};
    EXPECT_FALSE(map.GetPortAfterPowerCycleByLocationPath(hubForm.c_str(), b.error, port));
    EXPECT_STREQ(port, "");
    EXPECT_STREQ(b.error, "");
}

TEST(PortMapping, HubFormGivesUpAtTheFirstSerialNumberedMatch) {
    // Two ports carry the tag: the first one's USB device has a serial number,
    // so the walk stops there although the second has a hub port.
    const std::string usb = UsbDeviceInstanceId(0x1234, 0x5678, "", kHub, 5);
    FixtureDeviceTree tree(
        "hub H\n"
        "diag H:3 COM7 serial=ABC\n"
        "node " +
        usb + " parent=" + kHub +
        "\n"
        "port COM70 name=\"Other (COM7) port (COM70)\" parent=" +
        usb + "\n");
    CPortMapping map(&tree);
    Buffers b;
    EXPECT_FALSE(map.GetPhysicalPortAddress(b.address, b.error, "(COM7)"));
    EXPECT_TRUE(map.GetPhysicalPortAddress(b.address, b.error, "(COM70)"));
    EXPECT_EQ(std::string(b.address), kHub + "\\PORT5");
}

TEST(PortMapping, SocketsOfOneHubAreToldApart) {
    FixtureDeviceTree tree("hub H\n diag H:3 COM7\n diag H:4 COM8\n");
    CPortMapping map(&tree);
    Buffers a, b;
    ASSERT_TRUE(map.GetPhysicalPortAddress(a.address, a.error, "(COM7)"));
    ASSERT_TRUE(map.GetPhysicalPortAddress(b.address, b.error, "(COM8)"));
    EXPECT_STRNE(a.address, b.address);

    // Both come back in download mode; each address finds its own device.
    tree.Set("hub H\n qdl H:4 COM21\n qdl H:3 COM20\n");
    ASSERT_TRUE(map.GetPortAfterPowerCycleByPhysicalAddress(a.port, a.error, a.address));
    ASSERT_TRUE(map.GetPortAfterPowerCycleByPhysicalAddress(b.port, b.error, b.address));
    EXPECT_STREQ(a.port, "20)");
    EXPECT_STREQ(b.port, "21)");

    // Moved to another socket, or onto another hub's same socket: not found.
    tree.Set("hub H\n hub G\n qdl H:5 COM20\n qdl G:3 COM22\n");
    EXPECT_FALSE(map.GetPortAfterPowerCycleByPhysicalAddress(a.port, a.error, a.address));
    PortText untouched = {};
    EXPECT_FALSE(map.GetPortAfterPowerCycleByLocationPath(a.address, a.error, untouched));
    EXPECT_STREQ(untouched, "");
}

TEST(PortMapping, IsDiagPortPresentUpperCasesTheNameButNotThePort) {
    struct Case {
        const char* name;
        const char* port;
        bool present;
    } cases[] = {
        {"Qualcomm HS-USB Diagnostics 901D ttyUSB0 (COM7)", "COM7", true},
        {"some diag port (COM7)", "COM7", true},
        {"Qualcomm HS-USB QDLoader 9008 ttyUSB0 (COM7)", "COM7", false},
        {"Qualcomm HS-USB Diagnostics 901D ttyUSB0 (COM7)", "COM70", false},
        {"Qualcomm HS-USB Diagnostics 901D ttyUSB0 (COM71)", "COM7", false},
        {"Qualcomm HS-USB Diagnostics 901D ttyUSB0 (COM7)", "com7", false},
        // No "(COM": the candidate runs from the start to the last ')'.
        {"DIAG)", "DIAG", true},
        {"DIAG port COM7", "COM7", false},
    };
    for (const Case& c : cases) {
        FixtureDeviceTree tree(std::string("port COM7 name=\"") + c.name + "\"\n");
        CPortMapping map(&tree);
        EXPECT_EQ(map.IsDiagPortPresent(c.port), c.present) << c.name << " / " << c.port;
    }
    FixtureDeviceTree empty;
    EXPECT_FALSE(CPortMapping(&empty).IsDiagPortPresent("COM7"));
}

TEST(PortMapping, TextsThatDoNotFitFailInsteadOfOverrunning) {
    // A hub id that makes the hub-form address exactly 63 and exactly 64 long.
    const std::string tail = "\\PORT3";
    const std::string fits = "HUB\\" + std::string(63 - tail.size() - 4, 'A');
    const std::string tooLong = fits + "B";
    for (const auto& [hubId, ok] : {std::pair{fits, true}, std::pair{tooLong, false}}) {
        FixtureDeviceTree tree("hub H id=" + hubId + "\n diag H:3 COM7\n");
        CPortMapping map(&tree);
        Buffers b;
        std::memset(b.address, 'x', sizeof b.address - 1);
        EXPECT_EQ(map.GetPhysicalPortAddress(b.address, b.error, "(COM7)"), ok) << hubId;
        if (ok) {
            EXPECT_EQ(std::string(b.address), hubId + tail);
        } else {
            EXPECT_EQ(std::string(b.address), std::string(63, 'x'));
        }
    }
    // A port text of 15 characters fits the 16-byte buffer; 16 do not.
    FixtureDeviceTree tree(
        "port COM1 name=\"Qualcomm HS-USB QDLoader 9008 (COM12345678901234)\" paths=A#B\n"
        "port COM2 name=\"Qualcomm HS-USB QDLoader 9008 (COM123456789012345)\" paths=C#D\n");
    CPortMapping map(&tree);
    Buffers b;
    EXPECT_TRUE(map.GetPortAfterPowerCycleByLocationPath("A#B#USBMI(0)", b.error, b.port));
    EXPECT_STREQ(b.port, "12345678901234)");
    PortText other = {};
    EXPECT_FALSE(map.GetPortAfterPowerCycleByLocationPath("C#D#USBMI(0)", b.error, other));
    EXPECT_STREQ(other, "");
    // A location path of 64 characters does not fit the address either.
    FixtureDeviceTree longPath("port COM3 paths=" + std::string(64, 'P') + "\n");
    PhysicalAddress address = {};
    EXPECT_FALSE(CPortMapping(&longPath).GetLocationPath(address, b.error, "(COM3)"));
}

TEST(PortMapping, UnreadablePropertiesAndMissingTagsSkipTheDevice) {
    const std::string longName =
        "Qualcomm HS-USB QDLoader 9008 " + std::string(240, 'n') + " (COM5)";
    FixtureDeviceTree tree("port COM5 name=\"" + longName +
                           "\" paths=A\n"
                           "port COM6 name=\"Qualcomm HS-USB QDLoader 9008\" paths=A\n"
                           "port COM7 name=- paths=A\n"
                           "port COM8 name=\"Qualcomm HS-USB QDLoader 9008 (COM8)\" paths=A\n");
    CPortMapping map(&tree);
    Buffers b;
    // 270-character name: unreadable; no "(COM": no port text; no name at all.
    ASSERT_TRUE(map.GetPortAfterPowerCycleByLocationPath("A#USBMI(0)", b.error, b.port));
    EXPECT_STREQ(b.port, "8)");
}

TEST(PortMapping, UnreadableTreeWritesTheErrorText) {
    FixtureDeviceTree tree("hub H\n diag H:3 COM7\n");
    tree.Fail(13);
    CPortMapping map(&tree);
    Buffers b;
    EXPECT_FALSE(map.GetPhysicalPortAddress(b.address, b.error, "(COM7)"));
    EXPECT_STREQ(b.error, "Error! SetupDiGetClassDevs() return 13");
    std::memset(b.error, 0, sizeof b.error);
    EXPECT_FALSE(map.GetPortAfterPowerCycleByLocationPath("A#B", b.error, b.port));
    EXPECT_STREQ(b.error, "Error! SetupDiGetClassDevs() return 13");
    EXPECT_FALSE(map.IsDiagPortPresent("COM7"));
}
