#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>

#include "DiagDevice.h"
#include "TempDir.h"
#include "diag/QmslLoader.h"
#include "platform/DeviceTree.h"

using namespace gf;
using namespace gf::sim;
using NvStore = std::map<uint16_t, std::vector<uint8_t>>;

namespace {

// COM ports of the test bench: number -> device node.
class BenchTree : public IDeviceTree {
public:
    std::vector<DeviceNode> Snapshot() override {
        std::lock_guard lock(m_mutex);
        return m_nodes;
    }
    void Add(int com, const std::string& path) {
        std::lock_guard lock(m_mutex);
        DeviceNode n;
        n.instanceId = "SIM\\COM" + std::to_string(com);
        n.isComPort = true;
        n.comNumber = com;
        n.devicePath = path;
        m_nodes.push_back(n);
    }

private:
    std::mutex m_mutex;
    std::vector<DeviceNode> m_nodes;
};

// One simulated device in diagnostic mode behind a pseudo-terminal.
struct SimDevice {
    int master = -1;
    std::string slavePath;
    NvStore nv;
    std::mutex nvMutex;
    StopSignal stop;
    std::future<DiagOutcome> outcome;

    explicit SimDevice(DiagKnobs knobs = {}, NvStore items = {}) : nv(std::move(items)) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master, 0);
        EXPECT_EQ(grantpt(master), 0);
        EXPECT_EQ(unlockpt(master), 0);
        slavePath = ptsname(master);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
        session.nv = &nv;
        session.nvMutex = &nvMutex;
        session.knobs = std::move(knobs);
        outcome =
            std::async(std::launch::async, [this] { return ServeDiag(master, session, stop); });
    }
    ~SimDevice() {
        stop.Request();
        if (outcome.valid()) outcome.wait();
        close(master);
    }
    NvStore Items() {
        std::lock_guard lock(nvMutex);
        return nv;
    }
    DiagSession session;
};

NvStore SampleItems(uint8_t seed) {
    NvStore items;
    items[0] = {1, 2, 3, 4};
    items[550] = {0x08, 0x3A, 0x21, 0x43, 0x65, 0x87, 0x09, 0x21, seed};
    items[4399] = std::vector<uint8_t>(128, seed);
    items[8191] = {0x7E, 0x7D, seed};  // bytes that need escaping
    return items;
}

// Transfer records seen by the callback, with the context they came with.
std::mutex g_transferMutex;
std::vector<std::pair<std::string, void*>> g_transfers;
bool RecordTransfer(const char* src, const char* dst, int, int, int, int, void* context) {
    std::lock_guard lock(g_transferMutex);
    g_transfers.emplace_back(std::string(src) + " -> " + dst, context);
    return true;
}
bool IgnoreDir(const char*, int, void*) {
    return true;
}

class QmslLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(loader.Load(GF_TEST_BIN_DIR "/libqmsl.so", &tree, error)) << error;
        q = loader.Table();
        std::lock_guard lock(g_transferMutex);
        g_transfers.clear();
    }
    void* Connect(int com) {
        q->SetLibraryMode(0);
        q->SetTargetType(0);
        void* h = q->ConnectServer(static_cast<unsigned>(com));
        if (h) q->ConfigureEfs2CallBacks(h, &RecordTransfer, &IgnoreDir);
        return h;
    }
    bool Spc(void* h, const char* code, unsigned char& answer) {
        unsigned char digits[6];
        std::memcpy(digits, code, 6);
        answer = 0;
        return q->DIAG_SPC_F(h, digits, &answer) != 0;
    }

    gf::test::ScopedTempCwd cwd;
    BenchTree tree;
    QmslLoader loader;
    const QmslTable* q = nullptr;
};

}  // namespace

TEST_F(QmslLibrary, BackupAndRestoreGiveTheDeviceItsItemsBack) {
    SimDevice dev({}, SampleItems(0x11));
    tree.Add(12, dev.slavePath);
    const NvStore before = dev.Items();
    char path[260] = "ORVA_Gangflash_COM12.qcn";

    void* h = Connect(12);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(q->IsPhoneConnected(h));
    unsigned char answer = 0;
    EXPECT_TRUE(Spc(h, "418276", answer));
    EXPECT_EQ(answer, 1);
    EXPECT_TRUE(q->NV_SetTargetSupportMultiSIM(h, 1));
    int code = -1;
    ASSERT_TRUE(q->BackupNVFromMobileToQCN(h, path, &code));
    EXPECT_EQ(code, 0);
    q->StopLogging(h);
    q->DisconnectServer(h);

    {
        // The file holds exactly the device's items, in the documented format.
        const std::string text = gf::test::ReadFile(path);
        EXPECT_EQ(text.rfind("GANGFLASH-QCN 1\nmultisim 1\nitem 0 01020304", 0), 0u);
        EXPECT_NE(text.find("\nitem 8191 7e7d11"), std::string::npos);
        EXPECT_NE(text.find("\nend 4\n"), std::string::npos);
    }

    // Flashing changed the items meanwhile.
    {
        std::lock_guard lock(dev.nvMutex);
        dev.nv[550][3] = 0;
        dev.nv[4399].assign(128, 0xFF);
    }
    h = Connect(12);  // the device serves a new connection after the close
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(q->IsPhoneConnected(h));
    ASSERT_TRUE(Spc(h, "418276", answer));
    int count = 0;
    ASSERT_TRUE(q->NV_LoadNVsFromQCN(h, path, &count, &code));
    EXPECT_EQ(count, 4);
    ASSERT_TRUE(q->NV_WriteNVsToMobile(h, &code));
    EXPECT_EQ(code, 0);
    q->DisconnectServer(h);
    EXPECT_EQ(dev.Items(), before);

    // Both transfers went to the callback with their connection as context.
    std::lock_guard lock(g_transferMutex);
    ASSERT_EQ(g_transfers.size(), 2u);
    EXPECT_EQ(g_transfers[0].first, "NV items -> ORVA_Gangflash_COM12.qcn");
    EXPECT_EQ(g_transfers[1].first, "ORVA_Gangflash_COM12.qcn -> NV items");
    EXPECT_NE(g_transfers[0].second, nullptr);
}

TEST_F(QmslLibrary, DeviceAnswersFromItsConfiguredPoll) {
    DiagKnobs knobs;
    knobs.answerAtPoll = 3;
    SimDevice dev(knobs);
    tree.Add(3, dev.slavePath);
    void* h = Connect(3);
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(q->IsPhoneConnected(h));
    EXPECT_FALSE(q->IsPhoneConnected(h));
    EXPECT_TRUE(q->IsPhoneConnected(h));
    EXPECT_TRUE(q->IsPhoneConnected(h));
    q->DisconnectServer(h);
}

TEST(QmslLoader, MissingLibraryIsReported) {
    QmslLoader loader;
    std::string error;
    EXPECT_FALSE(loader.Load(GF_TEST_BIN_DIR "/no-such-libqmsl.so", nullptr, error));
    EXPECT_NE(error.find("no-such-libqmsl.so"), std::string::npos);
    EXPECT_EQ(loader.Table(), nullptr);
}

TEST_F(QmslLibrary, UnknownPortAndNullHandle) {
    EXPECT_EQ(q->ConnectServer(99), nullptr);
    EXPECT_FALSE(q->IsPhoneConnected(nullptr));
    int code = 0;
    char path[260] = "x.qcn";
    EXPECT_FALSE(q->BackupNVFromMobileToQCN(nullptr, path, &code));
    EXPECT_EQ(code, 7);
    q->DisconnectServer(nullptr);  // harmless
}

TEST_F(QmslLibrary, RefusedSpcIsExchangedButLocksNvWrites) {
    DiagKnobs knobs;
    knobs.spcRefused = "418276";
    SimDevice dev(knobs, SampleItems(0x22));
    tree.Add(5, dev.slavePath);
    void* h = Connect(5);
    ASSERT_NE(h, nullptr);
    unsigned char answer = 1;
    EXPECT_TRUE(Spc(h, "418276", answer));
    EXPECT_EQ(answer, 0);
    char path[260] = "dev5.qcn";
    int code = -1;
    EXPECT_TRUE(q->BackupNVFromMobileToQCN(h, path, &code));  // reads need no code
    int count = 0;
    ASSERT_TRUE(q->NV_LoadNVsFromQCN(h, path, &count, &code));
    EXPECT_FALSE(q->NV_WriteNVsToMobile(h, &code));
    EXPECT_EQ(code, 3);
    q->DisconnectServer(h);
}

TEST_F(QmslLibrary, LoadRejectsMissingAndForeignFiles) {
    SimDevice dev;
    tree.Add(6, dev.slavePath);
    void* h = Connect(6);
    ASSERT_NE(h, nullptr);
    struct Case {
        const char* name;
        std::string content;  // empty: no file
        int code;
    } cases[] = {
        {"missing", "", 1},
        {"foreign", "something else\n", 4},
        {"truncated", "GANGFLASH-QCN 1\nmultisim 0\nitem 1 00\n", 4},
        {"count mismatch", "GANGFLASH-QCN 1\nmultisim 0\nend 2\n", 4},
    };
    for (const auto& c : cases) {
        char path[260] = "case.qcn";
        std::remove(path);
        if (!c.content.empty()) gf::test::WriteFile(path, c.content);
        int code = -1, count = 0;
        EXPECT_FALSE(q->NV_LoadNVsFromQCN(h, path, &count, &code)) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
        // Nothing loaded: a write has nothing to send.
        EXPECT_FALSE(q->NV_WriteNVsToMobile(h, &code)) << c.name;
        EXPECT_EQ(code, 6) << c.name;
    }
    q->DisconnectServer(h);
}

TEST_F(QmslLibrary, SwitchToEdlRefusedOrAccepted) {
    for (bool refuse : {true, false}) {
        DiagKnobs knobs;
        knobs.refuseSwitch = refuse;
        SimDevice dev(knobs);
        tree.Add(refuse ? 7 : 8, dev.slavePath);
        void* h = Connect(refuse ? 7 : 8);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(q->QPHONEMS_SwitchToEDL(h) != 0, !refuse);
        q->DisconnectServer(h);
        if (refuse) {
            EXPECT_EQ(dev.outcome.wait_for(std::chrono::milliseconds(100)),
                      std::future_status::timeout);
        } else {
            // The device leaves once the host has let go of the port.
            ASSERT_EQ(dev.outcome.wait_for(std::chrono::seconds(5)), std::future_status::ready);
            EXPECT_EQ(dev.outcome.get(), DiagOutcome::SwitchToEdl);
        }
    }
}

TEST_F(QmslLibrary, EightDevicesBackUpAtOnce) {
    std::vector<std::unique_ptr<SimDevice>> devs;
    for (int i = 0; i < 8; ++i) {
        devs.push_back(
            std::make_unique<SimDevice>(DiagKnobs{}, SampleItems(static_cast<uint8_t>(i))));
        tree.Add(20 + i, devs.back()->slavePath);
    }
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            void* h = Connect(20 + i);
            if (!h || !q->IsPhoneConnected(h)) return;
            char path[260];
            std::snprintf(path, sizeof path, "COM%d.qcn", 20 + i);
            int code = -1;
            if (q->BackupNVFromMobileToQCN(h, path, &code) && code == 0) ++ok;
            q->DisconnectServer(h);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), 8);
    for (int i = 0; i < 8; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "7e7d%02x", i);
        const std::string text = gf::test::ReadFile("COM" + std::to_string(20 + i) + ".qcn");
        EXPECT_NE(text.find(std::string("\nitem 8191 ") + hex), std::string::npos) << i;
    }
}
