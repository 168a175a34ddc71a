#include "SND/WDM/Synchronize.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace sonari {
namespace {

// RunUntil serves the synchronous calls, even behind a queued one, but leaves the queued one to
// the next CheckSynchronize; every enqueued call wakes the main loop once.
TEST(Synchronizer, RunsAWorkersCallInTheMainThreadAndReturnsAfterItWithItsException) {
    TSynchronizer sync;
    std::atomic<int> wakeUps = 0;
    sync.OnWakeUp = [&] { ++wakeUps; };
    const std::thread::id mainId = std::this_thread::get_id();
    std::thread::id ranIn;
    int value = 0, queued = 0;
    std::atomic<bool> returned = false;
    std::string caught;
    std::thread worker([&] {
        sync.Queue(nullptr, [&] { ++queued; });
        sync.Synchronize([&] {
            ranIn = std::this_thread::get_id();
            value = 42;
        });
        EXPECT_EQ(value, 42); // the worker sees what the call did
        try {
            sync.Synchronize([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        returned = true;
        sync.Signal();
    });
    sync.RunUntil([&] { return returned.load(); });
    worker.join();
    EXPECT_EQ(ranIn, mainId);
    EXPECT_EQ(caught, "handler failed");
    EXPECT_EQ(wakeUps, 3);
    EXPECT_EQ(queued, 0);
    sync.CheckSynchronize();
    EXPECT_EQ(queued, 1);
}

// In the main thread a call runs at once; queued calls wait for the loop.
TEST(Synchronizer, QueuedCallsRunLaterUnlessTheirOwnerWithdrawsThem) {
    TSynchronizer sync;
    int first = 0, second = 0, ownerA = 0, ownerB = 0;
    sync.Synchronize([&] { ++second; });
    EXPECT_EQ(second, 1);
    EXPECT_FALSE(sync.CheckSynchronize());
    sync.Queue(&ownerA, [&] { ++first; });
    sync.Queue(&ownerB, [&] { ++second; });
    sync.Queue(&ownerA, [&] { ++first; });
    EXPECT_EQ(first + second, 1);
    sync.RemoveQueued(&ownerA);
    EXPECT_TRUE(sync.CheckSynchronize());
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 2);
    EXPECT_FALSE(sync.CheckSynchronize());
}

} // namespace
} // namespace sonari
