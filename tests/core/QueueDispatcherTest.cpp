#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "util/QueueDispatcher.h"

using namespace gf;

TEST(QueueDispatcher, SendBlocksTheWorkerUntilTheUiThreadRanItAndRunsInlineOnUi) {
    QueueDispatcher d;
    std::atomic<bool> ran{false}, returned{false};
    int inline_ran = 0;
    d.Send([&] { ++inline_ran; });
    EXPECT_EQ(inline_ran, 1);

    std::thread worker([&] {
        d.Send([&] {
            EXPECT_TRUE(d.IsUiThread());
            ran = true;
        });
        returned = true;
    });
    while (!ran) d.WaitAndRun(std::chrono::milliseconds(5));
    worker.join();
    EXPECT_TRUE(returned.load());
}
