#include <gtest/gtest.h>

#include <functional>

#include "SimKnobs.h"

namespace gf::sim {
namespace {

struct KnobCase {
    const char* name;
    const char* text;
    int device;
    std::function<bool(const DeviceKnobs&)> holds;
};

TEST(SimKnobs, ItemsApplyToTheRightDevice) {
    const KnobCase cases[] = {
        {"defaults", "", 1,
         [](const DeviceKnobs& k) {
             return k.mode == SimMode::Download && k.serial.empty() && k.socket == 0 &&
                    k.storageBytes == (64u << 20) && k.diagPid == 0x9091 && k.bytesPerSecond == 0 &&
                    k.stallAtPercent == -1 && k.vanishAtPercent == -1 && !k.refuseSwitch &&
                    k.answerAtPoll == 1 && !k.noReturn && k.returnSocket == 0 && !k.returnMode;
         }},
        {"rate with suffix", "rate=20M", 3,
         [](const DeviceKnobs& k) { return k.bytesPerSecond == 20.0 * 1024 * 1024; }},
        {"every fault at once",
         "stall=40,nak=program,vanish=60,refuse-switch,answer-at=3,no-return,return-socket=5", 1,
         [](const DeviceKnobs& k) {
             return k.stallAtPercent == 40 && k.nakCommand == "program" &&
                    k.vanishAtPercent == 60 && k.refuseSwitch && k.answerAtPoll == 3 &&
                    k.noReturn && k.returnSocket == 5;
         }},
        {"identity", "mode=diag,serial=ABC123,socket=7,storage=512K,pid=901d", 1,
         [](const DeviceKnobs& k) {
             return k.mode == SimMode::Diag && k.serial == "ABC123" && k.socket == 7 &&
                    k.storageBytes == 512 * 1024 && k.diagPid == 0x901D;
         }},
        {"device item only for its device", "dev2:stall=40", 1,
         [](const DeviceKnobs& k) { return k.stallAtPercent == -1; }},
        {"device item for its device", "dev2:stall=40", 2,
         [](const DeviceKnobs& k) { return k.stallAtPercent == 40; }},
        {"device item wins over a later bench item", "dev2:mode=diag,mode=absent", 2,
         [](const DeviceKnobs& k) { return k.mode == SimMode::Diag; }},
        {"later bench item wins", "rate=1K,rate=2K", 1,
         [](const DeviceKnobs& k) { return k.bytesPerSecond == 2048; }},
        {"blanks and empty items", " stall=5 ,, dev1:return-mode=download ", 1,
         [](const DeviceKnobs& k) {
             return k.stallAtPercent == 5 && k.returnMode == SimMode::Download;
         }},
    };
    for (const auto& c : cases) {
        BenchKnobs knobs;
        std::string error;
        ASSERT_TRUE(knobs.Parse(c.text, error)) << c.name << ": " << error;
        EXPECT_TRUE(c.holds(knobs.For(c.device))) << c.name;
    }
}

TEST(SimKnobs, BadItemsAreRefusedWholeAndNamed) {
    const struct {
        const char* text;
        const char* named;
    } cases[] = {
        {"stall=101", "stall=101"},
        {"stall", "stall"},
        {"refuse-switch=1", "refuse-switch=1"},
        {"rate=fast", "rate=fast"},
        {"rate=0", "rate=0"},
        {"storage=1000", "storage=1000"},  // not whole sectors
        {"mode=sleep", "mode=sleep"},
        {"return-mode=absent", "return-mode=absent"},
        {"serial=A-B", "serial=A-B"},
        {"pid=9008", "pid=9008"},  // the download-mode id
        {"dev0:stall=1", "dev0:stall=1"},
        {"device2:stall=1", "device2:stall=1"},
        {"colour=red", "colour=red"},
        {"stall=10,vanish=-1", "vanish=-1"},
    };
    for (const auto& c : cases) {
        BenchKnobs knobs;
        std::string error;
        EXPECT_FALSE(knobs.Parse(c.text, error)) << c.text;
        EXPECT_NE(error.find(c.named), std::string::npos) << c.text << " -> " << error;
        EXPECT_EQ(knobs.For(1).stallAtPercent, -1) << c.text << ": nothing may be added";
    }
}

TEST(SimKnobs, SimulateArgument) {
    int count = 0;
    BenchKnobs knobs;
    std::string error;
    ASSERT_TRUE(ParseSimulateArgument("8,rate=20M,dev2:stall=40", 8, count, knobs, error));
    EXPECT_EQ(count, 8);
    EXPECT_EQ(knobs.For(2).stallAtPercent, 40);
    EXPECT_EQ(knobs.For(8).bytesPerSecond, 20.0 * 1024 * 1024);

    ASSERT_TRUE(ParseSimulateArgument("3", 8, count, knobs, error));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(knobs.For(2).stallAtPercent, -1) << "earlier knobs replaced";

    for (const char* bad : {"0", "9", "x", "", "2,dev3:stall=1", "2,bogus"}) {
        EXPECT_FALSE(ParseSimulateArgument(bad, 8, count, knobs, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace gf::sim
