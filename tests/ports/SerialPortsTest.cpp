#include <gtest/gtest.h>

#include "FixtureDeviceTree.h"
#include "ports/SerialPorts.h"

using namespace gf;
using namespace gf::test;

TEST(SerialPorts, InterfaceWalkListsOnlyFullyDescribedPortsInOrder) {
    FixtureDeviceTree tree(
        "hub H\n"
        "diag H:3 COM7\n"
        "port COM9 name=- \n"                                    // no friendly name
        "port COM10 desc=-\n"                                    // no description
        "port COM11 hwid=-\n"                                    // no hardware ids
        "port COM12 name=\"Serial (COM12)\" hwid=A|B loc=PCI\n"  // not USB
        "port COM13 name=\"Plain (COM13)\" loc=-\n"
        "port COM14 name=\"x (COM14)\" desc=\"" +
        std::string(256, 'd') +
        "\"\n"
        "port COM15 hwid=" +
        std::string(200, 'a') + "|" + std::string(60, 'b') + "\n" + "qdl H:4 COM20\n");
    std::vector<SSerInfo> list(3);  // stale records from an earlier call
    list[0].strFriendlyName = "stale";
    ListSerialPorts(tree, list);
    ASSERT_EQ(list.size(), 4u);

    EXPECT_EQ(list[0].strFriendlyName, "Qualcomm HS-USB Diagnostics 901D ttyUSB0 (COM7)");
    EXPECT_EQ(list[0].strDeviceDesc, "Qualcomm HS-USB Diagnostics 901D");
    EXPECT_EQ(list[0].strHardwareId, "USB\\VID_05C6&PID_901D&REV_0318&MI_00");
    EXPECT_EQ(list[0].strDevicePath, "/dev/ttyUSB0");
    EXPECT_TRUE(list[0].bIsUsb);

    EXPECT_EQ(list[1].strFriendlyName, "Serial (COM12)");
    EXPECT_EQ(list[1].strHardwareId, "A");  // first of two
    EXPECT_FALSE(list[1].bIsUsb);
    EXPECT_FALSE(list[2].bIsUsb);  // no location information

    EXPECT_EQ(list[3].strFriendlyName, "Qualcomm HS-USB QDLoader 9008 ttyUSB8 (COM20)");
    for (const SSerInfo& info : list) EXPECT_EQ(info.strPortName, "") << info.strFriendlyName;

    FixtureDeviceTree empty("hub H\n");
    ListSerialPorts(empty, list);
    EXPECT_TRUE(list.empty());
}

TEST(SerialPorts, CompletionCutsTheDescriptionOnlyAtAFinalBracket) {
    struct Case {
        const char* port;
        const char* friendly;
        const char* friendlyAfter;
        const char* desc;
    } cases[] = {
        {"", "Communications Port (COM1)", "Communications Port (COM1)", "Communications Port"},
        {"COM1", "", "COM1", "COM1"},
        {"", " (COM1)", " (COM1)", " (COM1)"},                    // " (" at position 0
        {"", "Port (COM1) x", "Port (COM1) x", "Port (COM1) x"},  // ')' not last
        {"", "A) b (COM1)", "A) b (COM1)", "A) b (COM1)"},        // first ')' not last
        {"", "Modem (a) (COM3)", "Modem (a) (COM3)", "Modem (a) (COM3)"},
    };
    for (const Case& c : cases) {
        SSerInfo info;
        info.strPortName = c.port;
        info.strFriendlyName = c.friendly;
        CompleteSerInfo(info);
        EXPECT_EQ(info.strFriendlyName, c.friendlyAfter) << c.friendly;
        EXPECT_EQ(info.strDeviceDesc, c.desc) << c.friendly;
    }
    SSerInfo kept;
    kept.strFriendlyName = "Name (COM2)";
    kept.strDeviceDesc = "Own description";
    CompleteSerInfo(kept);
    EXPECT_EQ(kept.strDeviceDesc, "Own description");
}
