#include <gtest/gtest.h>

#include <functional>

#include "FixtureDeviceTree.h"
#include "JobFixture.h"
#include "job/JobOwner.h"
#include "ports/PortHandover.h"
#include "ports/UsbNaming.h"

using namespace gf;
using namespace gf::test;
using namespace std::chrono_literals;

namespace {

constexpr int kSlot = 0;
const int kStatus = kStatusId + kSlot;
const std::string kHub = RootHubInstanceId("H", false);
const char* kDiagBench = "hub H\n diag H:3 COM7\n";
const char* kLoadBench = "hub H\n qdl H:3 COM12\n";
const char* kEmptyBench = "hub H\n";

// A fixture tree that runs a hook before each snapshot (a stop, say).
class HookedTree : public FixtureDeviceTree {
public:
    using FixtureDeviceTree::FixtureDeviceTree;
    std::function<void(int)> hook;
    std::vector<DeviceNode> Snapshot() override {
        if (hook) hook(SnapshotCount());
        return FixtureDeviceTree::Snapshot();
    }
    bool TrySnapshot(std::vector<DeviceNode>& nodes, int& error) override {
        if (hook) hook(SnapshotCount());
        return FixtureDeviceTree::TrySnapshot(nodes, error);
    }
};

struct HandoverFixture : JobFixture {
    HookedTree tree;
    std::shared_ptr<CDownloadProc> job = MakeJob(kSlot);
    bool result = false;

    explicit HandoverFixture(const std::string& bench, int port = 7, int type = 1) {
        tree.Set(bench);
        job->m_portMapping.SetTree(&tree);
        job->m_nPort = port;
        job->m_nPortType = type;
    }
    void Run(std::function<bool(CDownloadProc&)> step) {
        job->m_procedureOverride = [&, step](CDownloadProc& j) { result = step(j); };
        RunToEnd(job);
    }
    std::vector<std::string> Lines() { return owner.view.TextHistory(kStatus); }
    std::vector<int> StatesSent() {
        std::vector<int> states;
        for (auto [id, state] : owner.States()) states.push_back(state);
        return states;
    }
    std::size_t SleepCount() {
        for (unsigned ms : clock.Sleeps()) EXPECT_EQ(ms, 1000u);
        return clock.Sleeps().size();
    }
};

using Lines = std::vector<std::string>;
using States = std::vector<int>;

}  // namespace

TEST(PortHandover, RecordPhysicalPortAddress) {
    {  // A download-port job needs no address: nothing asked, nothing said.
        HandoverFixture f(kDiagBench, 12, 2);
        f.Run(RecordPhysicalPortAddress);
        EXPECT_TRUE(f.result);
        EXPECT_STREQ(f.job->m_szPhysicalPortAddress, "");
        EXPECT_EQ(f.tree.SnapshotCount(), 0);
        EXPECT_TRUE(f.Lines().empty());
    }
    {  // Hub form.
        HandoverFixture f(kDiagBench);
        f.Run(RecordPhysicalPortAddress);
        EXPECT_TRUE(f.result);
        EXPECT_EQ(f.Lines(), Lines{"COM7  " + kHub + "\\PORT3"});
        EXPECT_EQ(f.StatesSent(), States{kSlotWorking});
    }
    {  // Serial-numbered device: location-path form.
        HandoverFixture f("hub H\n diag H:3 COM7 serial=XYZ\n");
        f.Run(RecordPhysicalPortAddress);
        EXPECT_TRUE(f.result);
        EXPECT_STREQ(f.job->m_szPhysicalPortAddress, "USBROOT(1)#USB(3)#USBMI(0)");
        EXPECT_EQ(f.Lines(), Lines{"COM7  USBROOT(1)#USB(3)#USBMI(0)"});
    }
    {  // Port absent: an empty error text.
        HandoverFixture f("hub H\n diag H:3 COM17\n");
        f.Run(RecordPhysicalPortAddress);
        EXPECT_FALSE(f.result);
        EXPECT_EQ(f.Lines(), Lines{"Can not Get PhysicalPortAddress of COM7,PortType:1,Error:"});
        EXPECT_EQ(f.StatesSent(), States{kSlotFailed});
    }
    {  // The tree cannot be read.
        HandoverFixture f(kDiagBench);
        f.tree.Fail(5);
        f.Run(RecordPhysicalPortAddress);
        EXPECT_FALSE(f.result);
        EXPECT_EQ(f.Lines(),
                  Lines{"Can not Get PhysicalPortAddress of COM7,PortType:1,Error:Error! "
                        "SetupDiGetClassDevs() return 5"});
    }
}

TEST(PortHandover, WaitPortReadyCountsTriesAndSleepsAfterEachMiss) {
    struct Case {
        const char* bench;
        std::chrono::milliseconds appearsAfter;  // the DIAG port, on the virtual clock
        std::uint32_t tries;
        bool ready;
        std::size_t sleeps;
    } cases[] = {
        {kDiagBench, 0ms, 10, true, 0},     {kEmptyBench, 3000ms, 10, true, 3},
        {kEmptyBench, 3000ms, 3, false, 3},  // would show at the fourth try
        {kEmptyBench, 1000ms, 1, false, 1},  // one try: one scan, one second
        {kEmptyBench, 0ms, 0, false, 0},     // no tries: fails at once
        {kLoadBench, 0ms, 5, false, 5},      // present, but not a DIAG port
    };
    for (const Case& c : cases) {
        HandoverFixture f(c.bench);
        if (c.appearsAfter > 0ms) f.tree.SetAt(f.clock, c.appearsAfter, kDiagBench);
        f.Run([&](CDownloadProc& j) { return WaitPortReady(j, c.tries); });
        SCOPED_TRACE(testing::Message() << c.bench << " tries " << c.tries);
        EXPECT_EQ(f.result, c.ready);
        EXPECT_EQ(f.SleepCount(), c.sleeps);
        if (c.ready) {
            EXPECT_TRUE(f.Lines().empty());
        } else {
            EXPECT_EQ(f.Lines(), Lines{"COM7 is not Ready,PortType:1"});
            EXPECT_EQ(f.StatesSent(), States{kSlotFailed});
        }
    }
}

TEST(PortHandover, FindPortAfterEdlFollowsTheDeviceToItsDownloadPort) {
    HandoverFixture f(kDiagBench);
    int newPort = -1;
    f.Run([&](CDownloadProc& j) {
        if (!RecordPhysicalPortAddress(j)) return false;
        // The device drops off and comes back in download mode 2 s later.
        f.tree.Set(kEmptyBench);
        f.tree.SetAt(f.clock, 2000ms, kLoadBench);
        return FindPortAfterEDL(j, newPort);
    });
    EXPECT_TRUE(f.result);
    EXPECT_EQ(newPort, 12);
    EXPECT_EQ(f.SleepCount(), 2u);
    EXPECT_EQ(f.Lines().back(), "COM7 AfterEDL COM12");
    EXPECT_EQ(f.StatesSent(), (States{kSlotWorking, kSlotWorking}));
}

TEST(PortHandover, FindPortAfterEdlByLocationPathAndOnAnotherSocket) {
    {  // A serial-numbered device is found by its location path.
        HandoverFixture f("hub H\n diag H:3 COM7 serial=XYZ\n");
        int newPort = -1;
        f.Run([&](CDownloadProc& j) {
            RecordPhysicalPortAddress(j);
            f.tree.Set("hub H\n qdl H:3 COM31 serial=XYZ\n");
            return FindPortAfterEDL(j, newPort);
        });
        EXPECT_TRUE(f.result);
        EXPECT_EQ(newPort, 31);
        EXPECT_EQ(f.SleepCount(), 0u);
    }
    {  // Back on another socket: ten attempts, then the failure line.
        HandoverFixture f(kDiagBench);
        int newPort = -1;
        f.Run([&](CDownloadProc& j) {
            RecordPhysicalPortAddress(j);
            f.tree.Set("hub H\n qdl H:4 COM12\n");
            return FindPortAfterEDL(j, newPort);
        });
        EXPECT_FALSE(f.result);
        EXPECT_EQ(newPort, -1);
        EXPECT_EQ(f.SleepCount(), 10u);
        EXPECT_EQ(f.Lines().back(), "Can not GetPortAfterPowerCycleByPhysicalAddress ,Error:");
        EXPECT_EQ(f.StatesSent(), (States{kSlotWorking, kSlotFailed}));
    }
}

TEST(PortHandover, RestoreWaitAsksTheOperatorAfterTwoMinutes) {
    struct Case {
        int answer;
        std::chrono::milliseconds returnsAfter;  // 0: never
        bool ready;
        std::size_t sleeps;
    } cases[] = {
        {IDYES, 0ms, false, 160},
        {IDYES, 130000ms, true, 130},
        {IDNO, 130000ms, false, 120},
        {IDYES, 60000ms, true, 60},  // back within the two minutes: no question
    };
    for (const Case& c : cases) {
        HandoverFixture f(kLoadBench);
        if (c.returnsAfter > 0ms) f.tree.SetAt(f.clock, c.returnsAfter, kDiagBench);
        f.owner.view.QueueAnswer(c.answer);
        f.Run(WaitDiagPortBeforeRestore);
        SCOPED_TRACE(testing::Message()
                     << "answer " << c.answer << " after " << c.returnsAfter.count());
        EXPECT_EQ(f.result, c.ready);
        EXPECT_EQ(f.SleepCount(), c.sleeps);
        const auto boxes = f.owner.view.Boxes();
        if (c.sleeps < 120) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text,
                      "Please check the port(Diagnostic) is ready in the device manager.\n"
                      "Click the YES button to continue\nor the NO button to quit Restore QCN.");
            EXPECT_EQ(boxes[0].caption, "Error");
            EXPECT_EQ(boxes[0].flags, 0x40024u);
        }
        EXPECT_EQ(f.Lines(), c.ready ? Lines{} : Lines{"COM7 is not Ready,PortType:1"});
    }
}

TEST(PortHandover, StoppedJobEndsItsWaitSilently) {
    HandoverFixture f(kEmptyBench);
    f.tree.hook = [&](int count) {
        if (count == 3) f.job->RequestStop();
    };
    int newPort = 0;
    f.Run([&](CDownloadProc& j) {
        return WaitPortReady(j, 10) || FindPortAfterEDL(j, newPort) || WaitDiagPortBeforeRestore(j);
    });
    EXPECT_FALSE(f.result);
    EXPECT_EQ(f.SleepCount(), 3u);  // the fourth check saw the stop before its pause
    EXPECT_TRUE(f.Lines().empty());
    EXPECT_TRUE(f.owner.view.Boxes().empty());
}
