#include <gtest/gtest.h>

#include "StationFixture.h"
#include "job/JobOwner.h"

using namespace gf;
using namespace gf::test;

namespace {

std::vector<std::string> Labels(StationFixture& f) {
    std::vector<std::string> out;
    for (int slot = 0; slot < 8; ++slot) out.push_back(f.view.Text(1000 + slot));
    return out;
}

void Label(StationFixture& f, int slot, const std::string& label) {
    f.view.ComboAddString(1000 + slot, label);
    f.view.ComboSetCurSel(1000 + slot, 0);
}

const char* Load(int com) {
    static std::string s;
    s = "Qualcomm HS-USB QDLoader 9008 (COM" + std::to_string(com) + ")";
    return s.c_str();
}

}  // namespace

TEST(PortScan, PortNameOfFriendlyName) {
    struct Case {
        const char* upper;
        const char* port;
    } cases[] = {
        {"QUALCOMM HS-USB QDLOADER 9008 (COM12)", "COM12"},
        {"QUALCOMM HS-USB DIAGNOSTICS 9091 TTYUSB0 (COM5)", "COM5"},
        {"SOME DIAG PORT", ""},
        {"DIAG (COM7", ""},
        {"DIAG) (COM7", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PortNameOfFriendlyName(c.upper), c.port) << c.upper;
}

TEST(PortScan, LabelsPerModeAndTheDownloadPortStandingInForAReportedSlot) {
    StationFixture f;
    f.ports.names = {"Qualcomm HS-USB QDLoader 9008 (COM12)", "Qualcomm HS-USB Diagnostics 9091 (COM5)",
                     "Some diag port without bracket"};
    f.dlg->m_bEmergDL = 1;
    EXPECT_EQ(f.dlg->ScanPorts(), 1);
    EXPECT_EQ(f.dlg->m_listPorts, (std::list<std::string>{"LOAD_COM12"}));

    f.dlg->m_bEmergDL = 0;
    EXPECT_EQ(f.dlg->ScanPorts(), 2);
    EXPECT_EQ(f.dlg->m_listPorts, (std::list<std::string>{"DIAG_", "DIAG_COM5"}));

    Label(f, 0, "DIAG_COM4");
    f.dlg->OnNewPortMessage(0, "COM12");
    EXPECT_EQ(f.dlg->ScanPorts(), 3);
    EXPECT_EQ(f.dlg->m_listPorts, (std::list<std::string>{"DIAG_", "DIAG_COM5", "DIAG_COM4"}));
}

TEST(PortScan, NoPortsMakesEveryIdleButWorkingSlotIdle) {
    StationFixture f;
    Label(f, 0, "LOAD_COM1");
    f.dlg->OnSlotStateMessage(1020, kSlotPassed);
    f.dlg->OnSlotStateMessage(1021, kSlotWorking);
    f.dlg->RefreshPorts();
    EXPECT_EQ(f.dlg->m_nSlotState[0], kSlotIdle);
    EXPECT_EQ(f.dlg->m_nSlotState[1], kSlotWorking);
    EXPECT_EQ(f.view.Text(1000), "LOAD_COM1");  // labels stay
}

TEST(PortScan, EarliestNewPortsGoToTheLowestEmptySlotsAndKeptLabelsAreNotGivenTwice) {
    StationFixture f;
    for (int slot = 0; slot < 8; ++slot) {
        if (slot == 2 || slot == 5) continue;
        Label(f, slot, "LOAD_COM" + std::to_string(40 + slot));
    }
    f.ports.names = {Load(21), Load(40), Load(22), Load(23)};
    f.dlg->RefreshPorts();
    auto labels = Labels(f);
    EXPECT_EQ(labels[2], "LOAD_COM21");
    EXPECT_EQ(labels[5], "LOAD_COM22");
    EXPECT_EQ(labels[0], "LOAD_COM40");  // kept, not handed to slot 2
    EXPECT_EQ(f.dlg->m_nSlotState[0], kSlotReady);
    EXPECT_EQ(f.dlg->m_nSlotState[1], kSlotIdle);
    EXPECT_EQ(f.dlg->m_nSlotState[2], kSlotReady);
    EXPECT_EQ(f.dlg->m_listPorts, (std::list<std::string>{"LOAD_COM23"}));
}

TEST(PortScan, FullStationStillMovesSlotsBetweenIdleAndReady) {
    StationFixture f;
    for (int slot = 0; slot < 8; ++slot) Label(f, slot, "LOAD_COM" + std::to_string(10 + slot));
    f.ports.names = {Load(10), Load(11)};
    for (int slot = 0; slot < 8; ++slot) f.dlg->OnSlotStateMessage(1020 + slot, kSlotPassed);
    f.dlg->RefreshPorts();
    EXPECT_EQ(f.dlg->m_nSlotState[0], kSlotPassed);  // still present: unchanged
    EXPECT_EQ(f.dlg->m_nSlotState[2], kSlotIdle);    // gone
    f.ports.names = {Load(10), Load(11), Load(12)};
    f.dlg->RefreshPorts();
    EXPECT_EQ(f.dlg->m_nSlotState[2], kSlotReady);  // came back
}

TEST(PortScan, AutoAllStartsASlotTheMomentItBecomesReady) {
    StationFixture f;
    f.SetPackage();
    f.view.SetCheck(kAutoAllId, true);
    f.ports.names = {Load(12), Load(13)};
    std::vector<int> startedWhenSlot1Ready;
    f.dlg->m_onSlotState = [&](int slot, int state) {
        if (slot == 1 && state == kSlotReady) {
            startedWhenSlot1Ready.push_back(f.dlg->m_pDownloadProc[0] ? 1 : 0);
        }
    };
    f.dlg->RefreshPorts();
    EXPECT_EQ(startedWhenSlot1Ready, (std::vector<int>{1}));  // slot 0 started before slot 1 was looked at
    EXPECT_TRUE(f.dlg->m_pDownloadProc[1]);
}
