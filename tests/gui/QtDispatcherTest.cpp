#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <thread>

#include "QtTestEnv.h"
#include "gui/QtDispatcher.h"

namespace gf::test {
namespace {

TEST(QtDispatcher, SendOnTheUiThreadRunsAtOnce) {
    CQtDispatcher dispatcher;
    EXPECT_TRUE(dispatcher.IsUiThread());
    bool ran = false;
    dispatcher.Send([&] { ran = true; });  // a blocking queued call here would hang
    EXPECT_TRUE(ran);
}

TEST(QtDispatcher, SendFromAWorkerRunsOnTheUiThreadAndWaits) {
    CQtDispatcher dispatcher;
    const std::thread::id ui = std::this_thread::get_id();
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    bool workerSawUiThread = true;
    int value = 0;
    std::thread worker([&] {
        workerSawUiThread = dispatcher.IsUiThread();
        dispatcher.Send([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        // Send returned: the function has run.
        EXPECT_EQ(value, 42);
        done = true;
        dispatcher.Post([] {});  // wakes the loop below
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    EXPECT_FALSE(workerSawUiThread);
    EXPECT_EQ(ranOn, ui);
}

TEST(QtDispatcher, PostIsQueuedAndRunPendingServesBlockedWorkers) {
    CQtDispatcher dispatcher;
    std::vector<int> order;
    dispatcher.Post([&] { order.push_back(1); });
    dispatcher.Post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(dispatcher.RunPending(), 2);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    // No event loop runs: the UI thread only calls RunPending, as it does
    // while it waits for jobs after the window has closed.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        dispatcher.Send([&] { order.push_back(3); });
        done = true;
    });
    int ran = 0;
    while (!done) {
        ran += dispatcher.RunPending();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(order.back(), 3);
}

}  // namespace
}  // namespace gf::test
