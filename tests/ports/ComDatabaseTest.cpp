#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

#include "ComDatabase.h"
#include "TempDir.h"

using namespace gf;
using namespace gf::test;

TEST(ComDatabase, KeepsNumbersPerKeyAndFillsTheLowestGap) {
    ScopedTempCwd cwd;
    const std::string path = cwd.path() + "/state/gangflash/comports.db";
    {
        ComDatabase db(path);
        EXPECT_EQ(db.Assign("1-3", "05c6:901d", 0), 1);
        EXPECT_EQ(db.Assign("1-3", "05c6:9008", 0), 2);  // same socket, other mode
        EXPECT_EQ(db.Assign("1-3", "05c6:901d", 2), 3);  // other interface
        EXPECT_EQ(db.Assign("1-3", "05c6:901d", 0), 1);
    }
    // A second instance (a later run) reads the numbers back.
    ComDatabase again(path);
    EXPECT_EQ(again.Assign("1-3", "05c6:9008", 0), 2);
    EXPECT_EQ(again.Assign("1-4", "05c6:9008", 0), 4);

    // Hand-edited file with a gap, a torn last line and a foreign line.
    const std::string gap = cwd.path() + "/gap.db";
    WriteFile(gap, "a\tx\t0\t1\nrubbish\nb\tx\t0\t3\nc\tx\t0");
    ComDatabase db(gap);
    EXPECT_EQ(db.Assign("d", "x", 0), 2);
    EXPECT_EQ(db.Assign("b", "x", 0), 3);
    EXPECT_EQ(db.Assign("e", "x", 0), 4);
    EXPECT_EQ(ComDatabase(gap).Assign("d", "x", 0), 2);
}

TEST(ComDatabase, DefaultPathFollowsXdgStateHome) {
    const char* old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_STATE_HOME", "/var/tmp/st", 1);
    EXPECT_EQ(ComDatabase::DefaultPath(), "/var/tmp/st/gangflash/comports.db");
    ::unsetenv("XDG_STATE_HOME");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) {
        EXPECT_EQ(ComDatabase::DefaultPath(), home + "/.local/state/gangflash/comports.db");
    }
    if (old) ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
}

TEST(ComDatabase, ThreadsAndProcessesNeverShareANumber) {
    ScopedTempCwd cwd;
    const std::string path = cwd.path() + "/comports.db";
    constexpr int kProcs = 3, kThreads = 4, kKeys = 10;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcs; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ComDatabase db(path);
            bool ok = true;
            for (int k = 0; k < kKeys; ++k) {
                ok = ok && db.Assign("p" + std::to_string(p), "05c6:9008", k) > 0;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    std::vector<std::vector<int>> got(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ComDatabase db(path);  // an instance of its own per thread
            for (int k = 0; k < kKeys; ++k) {
                got[t].push_back(db.Assign("t" + std::to_string(t), "05c6:9008", k));
            }
        });
    }
    for (auto& th : threads) th.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Every key got its own number, and together they are exactly 1..N.
    ComDatabase db(path);
    std::set<int> numbers;
    for (int p = 0; p < kProcs; ++p)
        for (int k = 0; k < kKeys; ++k)
            numbers.insert(db.Assign("p" + std::to_string(p), "05c6:9008", k));
    for (int t = 0; t < kThreads; ++t)
        for (int k = 0; k < kKeys; ++k) {
            const int n = db.Assign("t" + std::to_string(t), "05c6:9008", k);
            EXPECT_EQ(n, got[t][k]);
            numbers.insert(n);
        }
    const int total = (kProcs + kThreads) * kKeys;
    ASSERT_EQ(numbers.size(), static_cast<std::size_t>(total));
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), total);
}
